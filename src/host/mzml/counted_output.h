// The bytes of a document on their way out: counted, so that an index can
// give each element's offset as it is written (never by seeking back), and
// hashed, for the document's own checksum.
#pragma once

#include <nettle/sha1.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace orvohost::mzml {

class CountedOutput {
public:
    using Sink = std::function<void(std::string_view)>;

    explicit CountedOutput(Sink sink);

    // Hands `text` on, counted and hashed.
    void write(std::string_view text);
    // Hands `text` on, counted but left out of the digest: what follows the
    // checksum's start tag.
    void write_unhashed(std::string_view text);

    // Bytes handed on so far: the offset of the next.
    std::uint64_t offset() const { return written; }
    // The SHA-1 of every hashed byte, as lower-case hex digits.
    std::string digest();

private:
    Sink sink;
    std::uint64_t written = 0;
    sha1_ctx hash{};
};

} // namespace orvohost::mzml
