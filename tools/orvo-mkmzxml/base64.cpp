#include "base64.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace mkmzxml {

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters for every 12-bit value: one lookup per half of a
// three-byte group halves the table work of the per-character loop.
struct PairTable {
    std::array<char, 2 * 4096> chars{};
    constexpr PairTable() {
        for (std::size_t v = 0; v < 4096; ++v) {
            chars[2 * v] = alphabet[v >> 6];
            chars[2 * v + 1] = alphabet[v & 63];
        }
    }
};

constexpr PairTable pairs;

} // namespace

void base64_encode(const unsigned char* data, std::size_t size, std::string& out) {
    out.resize(base64_length(size));
    char* dst = out.data();
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3, dst += 4) {
        const std::uint32_t v =
            (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) | data[i + 2];
        std::memcpy(dst, &pairs.chars[2 * (v >> 12)], 2);
        std::memcpy(dst + 2, &pairs.chars[2 * (v & 0xFFF)], 2);
    }
    const std::size_t rest = size - i;
    if (rest == 0)
        return;
    const std::uint32_t v =
        (std::uint32_t{data[i]} << 16) | (rest == 2 ? std::uint32_t{data[i + 1]} << 8 : 0);
    dst[0] = alphabet[v >> 18];
    dst[1] = alphabet[(v >> 12) & 63];
    dst[2] = rest == 2 ? alphabet[(v >> 6) & 63] : '=';
    dst[3] = '=';
}

} // namespace mkmzxml
