// Base64 decoding with exact error offsets, straight into the caller's buffer.
#include <pal/exception.h>
#include <pal/memory.h>
#include <pal/string.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

#if defined(__x86_64__) || defined(__i386__)
#define PAL_BASE64_X86 1
#include <immintrin.h>
#endif

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

// ---- vector blocks ----
//
// Blocks of 16 (SSSE3) or 32 (AVX2) characters are validated and translated
// with nibble lookups and packed with multiply-adds (the Mula/Lemire method);
// blocks of 64 (AVX-512 VBMI) translate through one 128-entry byte lookup.
// Only the plain groups of a block are decoded there; padding, bad characters
// and skipped characters inside a group go to the exact loop, which gives
// every error its code and offset. The code is compiled for its instruction
// set alone and chosen at run time, so the library's flags stay generic.

// How far a run of blocks got, in offsets from where it started.
struct Run {
    std::size_t read = 0;    // characters consumed, up to a group boundary
    std::size_t written = 0; // bytes written
    std::size_t stop = 0;    // the character the run stopped at
};

// Decodes blocks from `in` (`chars` characters) into `out` (`room` bytes) as
// long as whole blocks of both are left, stepping over the characters of
// `skip` between groups. Never reads or writes outside those ranges.
using BlockRun = Run (*)(const unsigned char* in, std::size_t chars, unsigned char* out,
                         std::size_t room, const bool* skip);

struct VectorBlocks {
    BlockRun run = nullptr;
    std::size_t chars = 0; // characters per block
    std::size_t bytes = 0; // bytes per block
};

#if defined(PAL_BASE64_X86)

// After a block with characters outside the alphabet (a bit each in `bad`):
// writes the groups before the first of them from `packed` and, if it is a
// skipped character between groups, steps over it and its like, as the exact
// loop would, so that a line break does not end the run. False where the
// exact loop must take over.
//
// The loops count in locals and pass them by value: counters kept in the
// Run they return, or in locals whose address is taken, would live in
// memory, as any byte written to `out` might change them, and each block
// would wait for their store and reload.
struct Step {
    Run run;
    bool go_on = false;
};

template <std::size_t Width>
Step step_over(std::uint64_t bad, const unsigned char (&packed)[Width], const unsigned char* in,
               std::size_t chars, unsigned char* out, const bool* skip, Run run) {
    // Below Width as the block has a bad character; the compiler cannot know.
    const auto first = static_cast<std::size_t>(std::countr_zero(bad)) % Width;
    std::memcpy(out + run.written, packed, first / 4 * 3);
    run.written += first / 4 * 3;
    run.read += first / 4 * 4;
    run.stop = run.read + first % 4;
    if (first % 4 != 0 || !skip[in[run.read]])
        return {run, false};
    do
        ++run.read;
    while (run.read < chars && skip[in[run.read]]);
    return {run, true};
}

__attribute__((target("ssse3"))) Run plain_run_ssse3(const unsigned char* in, std::size_t chars,
                                                     unsigned char* out, std::size_t room,
                                                     const bool* skip) {
    // Per low nibble, the high-nibble classes for which the character is bad;
    // per high nibble, its class. A non-zero AND marks a bad character.
    const __m128i bad_lo = _mm_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                         0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
    const __m128i bad_hi = _mm_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10,
                                         0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
    // What to add to a character, by high nibble ('/' moved to index 1).
    const __m128i shift = _mm_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i slash = _mm_set1_epi8('/');
    const __m128i pairs = _mm_set1_epi32(0x01400140); // a << 6 | b
    const __m128i quads = _mm_set1_epi32(0x00011000); // ab << 12 | cd
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    std::size_t read = 0, written = 0;
    while (chars - read >= 16 && room - written >= 12) {
        const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + read));
        const __m128i hi = _mm_and_si128(_mm_srli_epi32(text, 4), nibble);
        const __m128i lo = _mm_and_si128(text, nibble);
        const __m128i bad =
            _mm_and_si128(_mm_shuffle_epi8(bad_lo, lo), _mm_shuffle_epi8(bad_hi, hi));
        const __m128i add = _mm_shuffle_epi8(shift, _mm_add_epi8(_mm_cmpeq_epi8(text, slash), hi));
        const __m128i merged =
            _mm_madd_epi16(_mm_maddubs_epi16(_mm_add_epi8(text, add), pairs), quads);
        const __m128i packed = _mm_shuffle_epi8(merged, order);
        const auto good =
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bad, _mm_setzero_si128())));
        if (good != 0xFFFF) {
            alignas(16) unsigned char bytes[16];
            _mm_store_si128(reinterpret_cast<__m128i*>(bytes), packed);
            const Step step = step_over(~good, bytes, in, chars, out, skip, {read, written, 0});
            read = step.run.read;
            written = step.run.written;
            if (!step.go_on)
                return step.run;
            continue;
        }
        // Exactly 12 bytes: nothing past the groups decoded.
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + written), packed);
        const auto tail = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(packed, 8)));
        std::memcpy(out + written + 8, &tail, 4);
        read += 16;
        written += 12;
    }
    return {read, written, read};
}

__attribute__((target("avx2"))) Run plain_run_avx2(const unsigned char* in, std::size_t chars,
                                                   unsigned char* out, std::size_t room,
                                                   const bool* skip) {
    // The same tables as for SSSE3, once per 128-bit lane.
    const __m256i bad_lo =
        _mm256_broadcastsi128_si256(_mm_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                                  0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A));
    const __m256i bad_hi =
        _mm256_broadcastsi128_si256(_mm_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08,
                                                  0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10));
    const __m256i shift = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0));
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i slash = _mm256_set1_epi8('/');
    const __m256i pairs = _mm256_set1_epi32(0x01400140);
    const __m256i quads = _mm256_set1_epi32(0x00011000);
    const __m256i order = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
    // Twelve bytes per lane, brought together as the block's first 24.
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    std::size_t read = 0, written = 0;
    while (chars - read >= 32 && room - written >= 24) {
        const __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + read));
        const __m256i hi = _mm256_and_si256(_mm256_srli_epi32(text, 4), nibble);
        const __m256i lo = _mm256_and_si256(text, nibble);
        const __m256i bad_lo_bits = _mm256_shuffle_epi8(bad_lo, lo);
        const __m256i bad_hi_bits = _mm256_shuffle_epi8(bad_hi, hi);
        const __m256i add =
            _mm256_shuffle_epi8(shift, _mm256_add_epi8(_mm256_cmpeq_epi8(text, slash), hi));
        const __m256i merged =
            _mm256_madd_epi16(_mm256_maddubs_epi16(_mm256_add_epi8(text, add), pairs), quads);
        const __m256i packed =
            _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(merged, order), lanes);
        if (!_mm256_testz_si256(bad_lo_bits, bad_hi_bits)) {
            const auto good = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(
                _mm256_and_si256(bad_lo_bits, bad_hi_bits), _mm256_setzero_si256())));
            alignas(32) unsigned char bytes[32];
            _mm256_store_si256(reinterpret_cast<__m256i*>(bytes), packed);
            const Step step = step_over(~good, bytes, in, chars, out, skip, {read, written, 0});
            read = step.run.read;
            written = step.run.written;
            if (!step.go_on)
                return step.run;
            continue;
        }
        // Exactly 24 bytes: nothing past the groups decoded.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + written), _mm256_castsi256_si128(packed));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + written + 16),
                         _mm256_extracti128_si256(packed, 1));
        read += 32;
        written += 24;
    }
    return {read, written, read};
}

// The 6-bit values of the characters 0..127 as two 64-byte tables, for a
// byte lookup indexed by a character's low seven bits; NOT_BASE64 has its
// high bit set, as has every character from 128 up.
struct AsciiValues {
    alignas(64) std::uint8_t low[64];
    alignas(64) std::uint8_t high[64];
};

constexpr AsciiValues make_ascii_values() {
    AsciiValues tables{};
    for (std::size_t c = 0; c < 64; ++c) {
        tables.low[c] = values[c];
        tables.high[c] = values[64 + c];
    }
    return tables;
}

constexpr AsciiValues ascii_values = make_ascii_values();

// Where the packed block takes its 48 bytes from: three of every four, most
// significant first, as the groups are written.
struct PackOrder {
    alignas(64) std::uint8_t index[64];
};

constexpr PackOrder make_pack_order() {
    PackOrder order{};
    for (std::size_t i = 0; i < 48; ++i)
        order.index[i] = static_cast<std::uint8_t>(4 * (i / 3) + 2 - i % 3);
    return order;
}

constexpr PackOrder pack_order = make_pack_order();

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) Run
plain_run_avx512(const unsigned char* in, std::size_t chars, unsigned char* out, std::size_t room,
                 const bool* skip) {
    const __m512i low = _mm512_loadu_si512(ascii_values.low);
    const __m512i high = _mm512_loadu_si512(ascii_values.high);
    const __m512i order = _mm512_loadu_si512(pack_order.index);
    const __m512i pairs = _mm512_set1_epi32(0x01400140); // a << 6 | b
    const __m512i quads = _mm512_set1_epi32(0x00011000); // ab << 12 | cd
    constexpr __mmask64 GROUP_BYTES = (__mmask64{1} << 48) - 1;
    std::size_t read = 0, written = 0;
    while (chars - read >= 64 && room - written >= 48) {
        const __m512i text = _mm512_loadu_si512(in + read);
        const __m512i value = _mm512_permutex2var_epi8(low, text, high);
        // A high bit in the value (not in the alphabet) or in the character.
        const __mmask64 bad = _mm512_movepi8_mask(_mm512_or_si512(value, text));
        const __m512i merged = _mm512_madd_epi16(_mm512_maddubs_epi16(value, pairs), quads);
        const __m512i packed = _mm512_maskz_permutexvar_epi8(GROUP_BYTES, order, merged);
        if (bad != 0) {
            alignas(64) unsigned char bytes[64];
            _mm512_storeu_si512(bytes, packed);
            const Step step = step_over(bad, bytes, in, chars, out, skip, {read, written, 0});
            read = step.run.read;
            written = step.run.written;
            if (!step.go_on)
                return step.run;
            continue;
        }
        // Exactly 48 bytes: nothing past the groups decoded.
        _mm512_mask_storeu_epi8(out + written, GROUP_BYTES, packed);
        read += 64;
        written += 48;
    }
    return {read, written, read};
}

#endif

VectorBlocks pick_vector_blocks() {
#if defined(PAL_BASE64_X86)
    // ORVO_BASE64 names a narrower path than the processor allows ("avx2",
    // "ssse3" or "scalar"), so that each can be checked on one machine.
    const char* named = std::getenv("ORVO_BASE64");
    const std::string_view cap = named != nullptr ? named : "";
    const bool wide = cap.empty() || cap == "avx512";
    const bool avx2 = wide || cap == "avx2";
    const bool ssse3 = avx2 || cap == "ssse3";
    __builtin_cpu_init();
    if (wide && __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512bw"))
        return {plain_run_avx512, 64, 48};
    if (avx2 && __builtin_cpu_supports("avx2"))
        return {plain_run_avx2, 32, 24};
    if (ssse3 && __builtin_cpu_supports("ssse3"))
        return {plain_run_ssse3, 16, 12};
#endif
    return {};
}

// Chosen once per process.
const VectorBlocks& vector_blocks() {
    static const VectorBlocks blocks = pick_vector_blocks();
    return blocks;
}

// The vector blocks step over skipped characters as if none could be part
// of a group; a skip set that holds letters of the alphabet or "=" makes
// that wrong, so such a set takes the exact loop throughout.
const VectorBlocks& blocks_for(const SkipSet& skip) {
    static const VectorBlocks none{};
    for (std::size_t c = 0; c < skip.size(); ++c)
        if (skip[c] && (values[c] != NOT_BASE64 || c == '='))
            return none;
    return vector_blocks();
}

// ---- decoding ----

// `vector` may be empty: then every group takes the scalar loop. When
// `first_padded` is given it receives the offset of the first group that
// padding closes (npos when none), so a caller knows the "=" of the input
// stand from there on only.
std::uint32_t decode(std::string_view input, const SkipSet& skip, std::size_t capacity, void* out,
                     const VectorBlocks& vector, std::size_t* first_padded = nullptr) {
    PAL_ASSERT(out != nullptr, L"bytes is NULL");
    const auto* in = reinterpret_cast<const unsigned char*>(input.data());
    const std::size_t size = input.size();
    auto* bytes = static_cast<unsigned char*>(out);
    std::size_t written = 0;
    std::size_t pos = 0;
    // The vector blocks are tried again only past the character that stopped
    // them, e.g. after the skipped line break, not once per group before it.
    std::size_t retry = 0;
    if (first_padded)
        *first_padded = std::string_view::npos;
    for (;;) {
        while (pos < size && skip[in[pos]])
            ++pos;
        if (pos == size)
            return static_cast<std::uint32_t>(written);
        if (vector.run && pos >= retry && size - pos >= vector.chars &&
            capacity - written >= vector.bytes) {
            const Run run =
                vector.run(in + pos, size - pos, bytes + written, capacity - written, skip.data());
            retry = pos + run.stop + 1;
            written += run.written;
            pos += run.read;
            continue;
        }
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
        if (due < 3 && first_padded && *first_padded == std::string_view::npos)
            *first_padded = pos;
        if (capacity - written < due)
            fail(PAL::DECODE_OUTPUT_EXHAUSTED, pos, __LINE__);
        for (std::size_t i = 0; i < due; ++i)
            bytes[written + i] = static_cast<unsigned char>(acc >> (16 - 8 * i));
        written += due;
        pos += 4;
    }
}

std::uint32_t decode_units(std::string_view input, const SkipSet& skip, const VectorBlocks& vector,
                           PAL::ByteOrder order, std::size_t unit_size, std::size_t max_units,
                           void* out, std::size_t* first_padded = nullptr) {
    PAL_ASSERT(unit_size != 0, L"unit_size is 0");
    // A count read from a file may be anything; saturate rather than wrap.
    const std::size_t capacity = max_units > std::numeric_limits<std::size_t>::max() / unit_size
                                     ? std::numeric_limits<std::size_t>::max()
                                     : unit_size * max_units;
    const std::uint32_t bytes = decode(input, skip, capacity, out, vector, first_padded);
    if (bytes % unit_size != 0)
        fail(PAL::DECODE_INPUT_EXHAUSTED, input.size(), __LINE__);
    const std::uint32_t units = static_cast<std::uint32_t>(bytes / unit_size);
    PAL::convert_byte_order(out, unit_size, units, order, PAL::NATIVE_ORDER);
    return units;
}

} // namespace

namespace PAL {

std::uint32_t base64_decode(std::string_view input, const char* skip, std::size_t capacity,
                            void* out) {
    const SkipSet set = make_skip(skip);
    return decode(input, set, capacity, out, blocks_for(set));
}

std::uint32_t base64_decode_exact(std::string_view input, const char* skip, std::size_t capacity,
                                  void* out) {
    return decode(input, make_skip(skip), capacity, out, VectorBlocks{});
}

std::uint32_t base64_decode_units(std::string_view input, const char* skip, ByteOrder order,
                                  std::size_t unit_size, std::size_t max_units, void* out) {
    const SkipSet set = make_skip(skip);
    return decode_units(input, set, blocks_for(set), order, unit_size, max_units, out);
}

std::uint32_t base64_decode_ws(std::string_view input, ByteOrder order, std::size_t unit_size,
                               std::size_t max_units, void* out) {
    // Peak texts come here one after another: the white-space set is
    // checked against the alphabet once, not per text.
    static const VectorBlocks& vector = blocks_for(white_space);
    return decode_units(input, white_space, vector, order, unit_size, max_units, out);
}

std::uint32_t base64_decode_ws(std::string_view input, ByteOrder order, std::size_t unit_size,
                               std::size_t max_units, void* out, std::size_t& first_padded) {
    static const VectorBlocks& vector = blocks_for(white_space);
    return decode_units(input, white_space, vector, order, unit_size, max_units, out,
                        &first_padded);
}

} // namespace PAL
