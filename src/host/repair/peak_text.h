// The text of a peaks element compressed with zlib, as later mzXML versions
// allow, turned into the plain form every 2.x reader decodes: the same
// big-endian values, base64 encoded, uncompressed.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvohost::repair {

// Inflates one peak text after another, keeping its zlib state and buffers
// from one to the next: a file holds tens of thousands of small streams,
// and a fresh inflate window for each costs more than the inflating.
// One per thread.
class PeakInflater {
public:
    PeakInflater();
    ~PeakInflater();
    PeakInflater(const PeakInflater&) = delete;
    PeakInflater& operator=(const PeakInflater&) = delete;

    // Appends to `into` the plain base64 of the values `compressed` (base64
    // of a zlib stream) holds; false, with nothing appended, when it does not
    // decode or inflate.
    bool append_plain_text(std::string_view compressed, std::string& into);

private:
    struct Stream;
    std::unique_ptr<Stream> stream;
    std::string packed_text;           // the compressed text without blanks
    std::vector<unsigned char> packed; // the zlib stream
    std::vector<unsigned char> plain;  // the values
};

// One peak text with an inflater of its own.
std::optional<std::string> inflate_peak_text(std::string_view compressed);

// Whether the text holds a blank, tab, carriage return or line feed.
bool has_blank(std::string_view text);

} // namespace orvohost::repair
