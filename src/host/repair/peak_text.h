// The text of a peaks element compressed with zlib, as later mzXML versions
// allow, turned into the plain form every 2.x reader decodes: the same
// big-endian values, base64 encoded, uncompressed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvohost::repair {

// The plain base64 of the values `compressed` (base64 of a zlib stream)
// holds, or nothing when it does not decode or inflate.
std::optional<std::string> inflate_peak_text(std::string_view compressed);

// Standard base64 with padding, no line breaks.
std::string base64_text(const unsigned char* bytes, std::size_t size);

} // namespace orvohost::repair
