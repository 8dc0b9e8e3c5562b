// Peak values as the base64 text of a peaks element, for the tests' files
// and the benchmarks' input alike. The product only decodes, so this is the
// one encoder there is. Header-only, so that a benchmark can use it without
// the test libraries.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace fixture {

// `bytes` as padded base64. With `groups_per_line` > 0, a line feed follows
// every that many groups of four characters, as some converters write long
// peak lists; with 0 the text is one line.
inline std::string base64_encode(std::span<const unsigned char> bytes,
                                 std::size_t groups_per_line = 0) {
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t taken = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = group << 8 | (k < taken ? bytes[i + k] : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= taken ? alphabet[(group >> (18 - 6 * k)) & 63] : '=';
        if (groups_per_line != 0 && (i / 3) % groups_per_line == groups_per_line - 1)
            out += '\n';
    }
    return out;
}

// Big-endian IEEE 754 values of `precision` bits (32 or 64), base64 encoded
// as base64_encode lays it out.
inline std::string encode_values(const std::vector<double>& values, int precision,
                                 std::size_t groups_per_line = 0) {
    const std::size_t unit = precision == 64 ? 8 : 4;
    std::vector<unsigned char> bytes;
    bytes.reserve(values.size() * unit);
    for (const double value : values) {
        const std::uint64_t bits = unit == 8
                                       ? std::bit_cast<std::uint64_t>(value)
                                       : std::bit_cast<std::uint32_t>(static_cast<float>(value));
        for (std::size_t b = unit; b-- > 0;)
            bytes.push_back(static_cast<unsigned char>(bits >> (8 * b)));
    }
    return base64_encode(bytes, groups_per_line);
}

} // namespace fixture
