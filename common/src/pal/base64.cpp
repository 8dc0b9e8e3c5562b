// Base64 decoding with exact error offsets, straight into the caller's buffer.
#include <pal/exception.h>
#include <pal/memory.h>
#include <pal/string.h>

#include <array>
#include <cstdint>
#include <limits>

namespace {
constexpr const char* source_file = "string";

constexpr std::uint8_t NOT_BASE64 = 0xFF;

constexpr std::array<std::uint8_t, 256> make_values() {
    std::array<std::uint8_t, 256> values{};
    for (auto& v : values)
        v = NOT_BASE64;
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::uint8_t i = 0; i < 64; ++i)
        values[static_cast<unsigned char>(alphabet[i])] = i;
    return values;
}

// 6-bit value per character; bytes 128..255 and "=" are NOT_BASE64.
constexpr auto values = make_values();

// Any bit at or above 24 marks a character outside the alphabet.
constexpr std::uint32_t NOT_PLAIN = 0xFF000000u;

// The value of a character already shifted to its place in a group, so a
// plain group costs four lookups and one OR, and one test for all four.
constexpr std::array<std::uint32_t, 256> make_place(unsigned shift) {
    std::array<std::uint32_t, 256> place{};
    for (std::size_t c = 0; c < place.size(); ++c)
        place[c] = values[c] == NOT_BASE64 ? NOT_PLAIN : std::uint32_t{values[c]} << shift;
    return place;
}

constexpr auto place0 = make_place(18);
constexpr auto place1 = make_place(12);
constexpr auto place2 = make_place(6);
constexpr auto place3 = make_place(0);

using SkipSet = std::array<bool, 256>;

SkipSet make_skip(const char* skip) {
    SkipSet set{};
    for (const char* c = skip; c && *c; ++c)
        set[static_cast<unsigned char>(*c)] = true;
    return set;
}

constexpr SkipSet make_white_space() {
    SkipSet set{};
    set[' '] = set['\t'] = set['\n'] = set['\r'] = true;
    return set;
}

constexpr SkipSet white_space = make_white_space();

[[noreturn]] void fail(PAL::DecodeErrorCode code, std::size_t offset, unsigned int line) {
    PAL::raise<PAL::StrDecodeError>(source_file, line, code, static_cast<std::uint32_t>(offset));
}

// The exact reading of one group of four characters at `pos`: padding may
// only close a group, and every failure names its character. Gives the
// 24-bit accumulator and the number of bytes due.
std::size_t read_group(const unsigned char* in, std::size_t pos, std::uint32_t& acc) {
    acc = 0;
    std::size_t pad = 0;
    for (const std::size_t end = pos + 4; pos < end; ++pos) {
        const unsigned char c = in[pos];
        std::uint32_t v = 0;
        if (pad == 0) {
            v = values[c];
            if (v == NOT_BASE64) {
                if (c != '=')
                    fail(PAL::DECODE_ILLEGAL_CHARACTER, pos, __LINE__);
                pad = 1;
                v = 0;
            }
        } else {
            if (c != '=')
                fail(PAL::DECODE_ILLEGAL_CHARACTER, pos, __LINE__);
            if (++pad > 2)
                fail(PAL::DECODE_EXCESSIVE_PADDING, pos, __LINE__);
        }
        acc = acc << 6 | v;
    }
    return 3 - pad;
}

std::uint32_t decode(const std::string& input, const SkipSet& skip, std::size_t capacity,
                     void* out) {
    PAL_ASSERT(out != nullptr, L"bytes is NULL");
    const auto* in = reinterpret_cast<const unsigned char*>(input.data());
    const std::size_t size = input.size();
    auto* bytes = static_cast<unsigned char*>(out);
    std::size_t written = 0;
    std::size_t pos = 0;
    for (;;) {
        while (pos < size && skip[in[pos]])
            ++pos;
        if (pos == size)
            return static_cast<std::uint32_t>(written);
        if (size - pos < 4)
            fail(PAL::DECODE_INPUT_EXHAUSTED, pos, __LINE__);

        std::uint32_t acc =
            place0[in[pos]] | place1[in[pos + 1]] | place2[in[pos + 2]] | place3[in[pos + 3]];
        if ((acc & NOT_PLAIN) == 0 && capacity - written >= 3) {
            bytes[written] = static_cast<unsigned char>(acc >> 16);
            bytes[written + 1] = static_cast<unsigned char>(acc >> 8);
            bytes[written + 2] = static_cast<unsigned char>(acc);
            written += 3;
            pos += 4;
            continue;
        }
        // Padding, bad characters and a nearly full buffer take the exact path.
        const std::size_t due = read_group(in, pos, acc);
        if (capacity - written < due)
            fail(PAL::DECODE_OUTPUT_EXHAUSTED, pos, __LINE__);
        for (std::size_t i = 0; i < due; ++i)
            bytes[written + i] = static_cast<unsigned char>(acc >> (16 - 8 * i));
        written += due;
        pos += 4;
    }
}

std::uint32_t decode_units(const std::string& input, const SkipSet& skip, PAL::ByteOrder order,
                           std::size_t unit_size, std::size_t max_units, void* out) {
    PAL_ASSERT(unit_size != 0, L"unit_size is 0");
    // A count read from a file may be anything; saturate rather than wrap.
    const std::size_t capacity = max_units > std::numeric_limits<std::size_t>::max() / unit_size
                                     ? std::numeric_limits<std::size_t>::max()
                                     : unit_size * max_units;
    const std::uint32_t bytes = decode(input, skip, capacity, out);
    if (bytes % unit_size != 0)
        fail(PAL::DECODE_INPUT_EXHAUSTED, input.size(), __LINE__);
    const std::uint32_t units = static_cast<std::uint32_t>(bytes / unit_size);
    PAL::convert_byte_order(out, unit_size, units, order, PAL::NATIVE_ORDER);
    return units;
}

} // namespace

namespace PAL {

std::uint32_t base64_decode(const std::string& input, const char* skip, std::size_t capacity,
                            void* out) {
    return decode(input, make_skip(skip), capacity, out);
}

std::uint32_t base64_decode_units(const std::string& input, const char* skip, ByteOrder order,
                                  std::size_t unit_size, std::size_t max_units, void* out) {
    return decode_units(input, make_skip(skip), order, unit_size, max_units, out);
}

std::uint32_t base64_decode_ws(const std::string& input, ByteOrder order, std::size_t unit_size,
                               std::size_t max_units, void* out) {
    return decode_units(input, white_space, order, unit_size, max_units, out);
}

} // namespace PAL
