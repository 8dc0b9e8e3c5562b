// Base64 (RFC 4648, with padding, no line breaks) of a byte range, written
// into a caller's buffer so that one buffer serves every scan.
#pragma once

#include <cstddef>
#include <string>

namespace mkmzxml {

constexpr std::size_t base64_length(std::size_t bytes) {
    return (bytes + 2) / 3 * 4;
}

// Replaces `out` with the encoding of `size` bytes at `data`.
void base64_encode(const unsigned char* data, std::size_t size, std::string& out);

} // namespace mkmzxml
