#include "base64_text.h"

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define ORVO_BASE64_AVX2 1
#include <immintrin.h>
#endif

namespace orvohost {

namespace {

constexpr char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The two characters of every 12-bit value: a group of three bytes is two
// lookups, not four.
constexpr std::array<char, 2 * 4096> make_pairs() {
    std::array<char, 2 * 4096> pairs{};
    for (std::size_t v = 0; v < 4096; ++v) {
        pairs[2 * v] = ALPHABET[v >> 6];
        pairs[2 * v + 1] = ALPHABET[v & 63];
    }
    return pairs;
}
constexpr auto PAIRS = make_pairs();

// Encodes whole groups from the start while the processor's vectors allow;
// returns the bytes encoded, a multiple of three.
using VectorGroups = std::size_t (*)(const unsigned char* bytes, std::size_t size, char* out);

std::size_t no_vector_groups(const unsigned char*, std::size_t, char*) {
    return 0;
}

#if defined(ORVO_BASE64_AVX2)
// Eight groups a step, four in each 128-bit lane: each group's three bytes
// spread over a 32-bit word, its four 6-bit values moved into a byte each
// by two multiplications, then each value shifted onto its character by
// the range it falls in.
__attribute__((target("avx2"))) std::size_t avx2_groups(const unsigned char* bytes,
                                                        std::size_t size, char* out) {
    const __m256i spread = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10));
    const __m256i high_bits = _mm256_set1_epi32(0x0FC0FC00);
    const __m256i high_shift = _mm256_set1_epi32(0x04000040);
    const __m256i low_bits = _mm256_set1_epi32(0x003F03F0);
    const __m256i low_shift = _mm256_set1_epi32(0x01000010);
    // Added to a value by its range: A-Z, a-z, 0-9 (ten of them), '+', '/'.
    const __m256i offsets = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(65, 71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 0, 0));
    const __m256i last_capital = _mm256_set1_epi8(25);
    const __m256i last_small = _mm256_set1_epi8(51);
    std::size_t i = 0;
    // Two loads of 16 bytes take 24 and read 28.
    for (; i + 28 <= size; i += 24) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 12));
        const __m256i words = _mm256_shuffle_epi8(_mm256_set_m128i(high, low), spread);
        const __m256i values =
            _mm256_or_si256(_mm256_mulhi_epu16(_mm256_and_si256(words, high_bits), high_shift),
                            _mm256_mullo_epi16(_mm256_and_si256(words, low_bits), low_shift));
        // 0 for A-Z and a-z, 1 to 12 for the rest; then 1 more above Z.
        const __m256i range = _mm256_sub_epi8(_mm256_subs_epu8(values, last_small),
                                              _mm256_cmpgt_epi8(values, last_capital));
        const __m256i text = _mm256_add_epi8(values, _mm256_shuffle_epi8(offsets, range));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i / 3 * 4), text);
    }
    return i;
}
#endif

VectorGroups pick_vector_groups() {
#if defined(ORVO_BASE64_AVX2)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return avx2_groups;
#endif
    return no_vector_groups;
}

// Chosen once per process.
VectorGroups vector_groups() {
    static const VectorGroups chosen = pick_vector_groups();
    return chosen;
}

} // namespace

std::string base64_text(const unsigned char* bytes, std::size_t size) {
    std::string text;
    append_base64(bytes, size, text);
    return text;
}

void append_base64(const unsigned char* bytes, std::size_t size, std::string& into) {
    const std::size_t at = into.size();
    // The bytes resized over are in the cache when they are overwritten.
    into.resize(at + (size + 2) / 3 * 4);
    std::size_t i = vector_groups()(bytes, size, into.data() + at);
    char* out = into.data() + at + i / 3 * 4;
    for (; i + 3 <= size; i += 3, out += 4) {
        const std::uint32_t v = std::uint32_t{bytes[i]} << 16 | std::uint32_t{bytes[i + 1]} << 8 |
                                std::uint32_t{bytes[i + 2]};
        std::memcpy(out, &PAIRS[2 * (v >> 12)], 2);
        std::memcpy(out + 2, &PAIRS[2 * (v & 4095)], 2);
    }
    if (size - i == 1) {
        const std::uint32_t v = std::uint32_t{bytes[i]} << 16;
        out[0] = ALPHABET[v >> 18];
        out[1] = ALPHABET[(v >> 12) & 63];
        out[2] = '=';
        out[3] = '=';
    } else if (size - i == 2) {
        const std::uint32_t v = std::uint32_t{bytes[i]} << 16 | std::uint32_t{bytes[i + 1]} << 8;
        out[0] = ALPHABET[v >> 18];
        out[1] = ALPHABET[(v >> 12) & 63];
        out[2] = ALPHABET[(v >> 6) & 63];
        out[3] = '=';
    }
}

} // namespace orvohost
