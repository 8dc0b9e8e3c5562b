// Base64 decoding: the fast path (vector blocks where the processor has
// them) against the exact scalar path on any text, skip set and capacity,
// and the unit decoders against the exact path plus a byte swap. Any
// difference in count, error code, offset or bytes written aborts.
//
// Input: a flag byte, a capacity byte, a skip-set length (low 3 bits) and
// that many skip characters, then the text.
#include <pal/exception.h>
#include <pal/memory.h>
#include <pal/string.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Outcome {
    std::uint32_t count = 0;
    std::int32_t error = PAL::DECODE_NO_ERROR;
    std::uint32_t offset = 0;
    std::vector<unsigned char> bytes;
    bool operator==(const Outcome&) const = default;
};

void check(bool same, const char* what, std::string_view text) {
    if (same)
        return;
    std::fprintf(stderr, "fuzz_base64: %s differ on %zu characters\n", what, text.size());
    std::abort();
}

constexpr unsigned char MARKER = 0xA5;

// Runs `decode` into a buffer of `room` bytes filled with a marker, so bytes
// written on the way to a failure are compared too. One marker byte more
// lets a buffer of no room have an address, and must stay untouched.
template <class Decode>
Outcome run(std::size_t room, Decode decode) {
    Outcome outcome;
    outcome.bytes.assign(room + 1, MARKER);
    try {
        outcome.count = decode(outcome.bytes.data());
    } catch (const PAL::StrDecodeError& e) {
        outcome.error = e.error;
        outcome.offset = e.offset;
    }
    check(outcome.bytes.back() == MARKER, "the byte past the capacity and the marker",
          std::string_view());
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    const unsigned flags = data[0];
    const unsigned capacity_byte = data[1];
    const std::size_t skip_length = std::min<std::size_t>(data[2] & 7u, size - 3);
    std::string skip;
    for (std::size_t i = 0; i < skip_length; ++i)
        if (data[3 + i] != 0)
            skip.push_back(static_cast<char>(data[3 + i]));
    const std::string_view text(reinterpret_cast<const char*>(data) + 3 + skip_length,
                                size - 3 - skip_length);

    // Enough room for anything the text can decode to, or a small capacity
    // that the text may overrun; the buffer is exactly that big.
    const std::size_t decodable = text.size() / 4 * 3 + 3;
    const bool bounded = flags & 1u;
    const std::size_t capacity = bounded ? capacity_byte : std::numeric_limits<std::size_t>::max();
    const std::size_t room = bounded ? capacity : decodable;
    const char* const skip_set = flags & 2u ? nullptr : skip.c_str();

    const Outcome fast =
        run(room, [&](void* out) { return PAL::base64_decode(text, skip_set, capacity, out); });
    const Outcome exact = run(
        room, [&](void* out) { return PAL::base64_decode_exact(text, skip_set, capacity, out); });
    check(fast == exact, "base64_decode and base64_decode_exact", text);
    if (exact.error == PAL::DECODE_NO_ERROR)
        check(exact.count <= std::min(capacity, decodable), "count and capacity", text);

    // Whole units in a byte order: the exact bytes, a count check, a swap.
    static constexpr std::size_t unit_sizes[] = {1, 2, 4, 8};
    const std::size_t unit = unit_sizes[(flags >> 2) & 3u];
    const PAL::ByteOrder order = flags & 16u ? PAL::BIG_ENDIAN_ORDER : PAL::LITTLE_ENDIAN_ORDER;
    const std::size_t max_units = bounded ? capacity_byte : decodable / unit + 1;
    const std::size_t unit_room = max_units * unit;
    const Outcome units = run(unit_room, [&](void* out) {
        return PAL::base64_decode_ws(text, order, unit, max_units, out);
    });
    Outcome expected = run(unit_room, [&](void* out) {
        return PAL::base64_decode_exact(text, " \t\n\r", unit_room, out);
    });
    if (expected.error == PAL::DECODE_NO_ERROR) {
        if (expected.count % unit != 0) {
            // A count that is no whole unit fails with the bytes left unswapped.
            expected.error = PAL::DECODE_INPUT_EXHAUSTED;
            expected.offset = static_cast<std::uint32_t>(text.size());
            expected.count = 0;
        } else {
            expected.count /= static_cast<std::uint32_t>(unit);
            PAL::convert_byte_order(expected.bytes.data(), unit, expected.count, order,
                                    PAL::NATIVE_ORDER);
        }
    }
    check(units == expected, "base64_decode_ws and the exact units", text);

    // The vector decoder: the same values as the unit decoder, or the same failure.
    if (flags & 32u) {
        std::vector<double> values;
        const std::size_t min_units = capacity_byte >> 4;
        std::int32_t error = PAL::DECODE_NO_ERROR;
        try {
            PAL::base64_decode_vector(text, order, min_units, max_units, values);
        } catch (const PAL::StrDecodeError& e) {
            error = e.error;
            check(values.empty(), "a failed vector and an empty one", text);
        }
        const Outcome plain = run(max_units * sizeof(double), [&](void* out) {
            return PAL::base64_decode_ws(text, order, sizeof(double), max_units, out);
        });
        if (error == PAL::DECODE_NO_ERROR)
            check(plain.error == PAL::DECODE_NO_ERROR && values.size() == plain.count &&
                      values.size() >= min_units &&
                      std::equal(
                          values.begin(), values.end(),
                          reinterpret_cast<const double*>(plain.bytes.data()),
                          [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }),
                  "base64_decode_vector and base64_decode_ws", text);
        else
            check(plain.error == error ||
                      (error == PAL::DECODE_INPUT_EXHAUSTED && plain.count < min_units),
                  "the failures of base64_decode_vector and base64_decode_ws", text);
    }
    return 0;
}
