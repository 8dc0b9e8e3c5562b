#include "peak_widen.h"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace orvoeng {

namespace {

// The pairs from `first` on, one at a time.
template <class T>
bool widen_tail(const unsigned char* bytes, std::size_t first, std::size_t count, Peak* out,
                double min_mz, bool all_above) {
    for (std::size_t i = first; i < count; ++i) {
        const unsigned char* pair = bytes + 2 * sizeof(T) * i;
        out[i] = Peak{static_cast<double>(big_endian_value<T>(pair)),
                      static_cast<double>(big_endian_value<T>(pair + sizeof(T)))};
        all_above = all_above && out[i].mz > min_mz;
    }
    return all_above;
}

#if defined(__SSE2__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__

// Byte order turned in every 32-bit or 64-bit lane, with SSE2 alone.
inline __m128i swap_bytes_in_words(__m128i v) {
    return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
}
inline __m128i swap_32(__m128i v) {
    v = swap_bytes_in_words(v);
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xB1), 0xB1);
}
inline __m128i swap_64(__m128i v) {
    v = swap_bytes_in_words(v);
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0x1B), 0x1B);
}

// Four pairs a step with AVX2: the byte order turned by one shuffle, and
// each half of four floats widened in place into two peaks.
__attribute__((target("avx2"))) std::size_t widen_floats_avx2(const unsigned char* bytes,
                                                              std::size_t count, double* target,
                                                              double min_mz, bool& all_above) {
    const __m256i order = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3,
                                           2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    const __m256d floor = _mm256_set1_pd(min_mz);
    __m256d above = _mm256_castsi256_pd(_mm256_set1_epi32(-1));
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m256i values = _mm256_shuffle_epi8(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 8 * i)), order);
        const __m256d first = _mm256_cvtps_pd(_mm256_castps256_ps128(_mm256_castsi256_ps(values)));
        const __m256d second =
            _mm256_cvtps_pd(_mm256_extractf128_ps(_mm256_castsi256_ps(values), 1));
        _mm256_storeu_pd(target + 2 * i, first);
        _mm256_storeu_pd(target + 2 * i + 4, second);
        // Lanes 0 and 2 of each are m/z: an intensity always passes.
        above = _mm256_and_pd(above,
                              _mm256_cmp_pd(_mm256_unpacklo_pd(first, second), floor, _CMP_GT_OQ));
    }
    all_above = _mm256_movemask_pd(above) == 15;
    return i;
}

bool has_avx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// Two pairs a step: `load(i, first, second)` gives peaks i and i + 1, which
// are stored and whose m/z are checked against the floor. Returns the pairs done.
template <class Load>
std::size_t widen_sse2(std::size_t count, double* target, double min_mz, bool& all_above,
                       Load load) {
    const __m128d floor = _mm_set1_pd(min_mz);
    __m128d above = _mm_castsi128_pd(_mm_set1_epi32(-1));
    std::size_t i = 0;
    for (; i + 2 <= count; i += 2) {
        __m128d first, second;
        load(i, first, second);
        _mm_storeu_pd(target + 2 * i, first);
        _mm_storeu_pd(target + 2 * i + 2, second);
        above = _mm_and_pd(above, _mm_cmpgt_pd(_mm_unpacklo_pd(first, second), floor));
    }
    all_above = _mm_movemask_pd(above) == 3;
    return i;
}

#define ORVO_WIDEN_SSE2 1
#endif

} // namespace

bool widen_float_pairs(const unsigned char* bytes, std::size_t count, Peak* out, double min_mz) {
    std::size_t i = 0;
    bool all_above = true;
#if defined(ORVO_WIDEN_SSE2)
    // Two pairs a step: four floats turned into two peaks.
    auto* const target = reinterpret_cast<double*>(out);
    if (has_avx2()) {
        i = widen_floats_avx2(bytes, count, target, min_mz, all_above);
        return widen_tail<float>(bytes, i, count, out, min_mz, all_above);
    }
    i = widen_sse2(
        count, target, min_mz, all_above, [bytes](std::size_t at, __m128d& first, __m128d& second) {
            const __m128 values = _mm_castsi128_ps(
                swap_32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 8 * at))));
            first = _mm_cvtps_pd(values);
            second = _mm_cvtps_pd(_mm_movehl_ps(values, values));
        });
#endif
    return widen_tail<float>(bytes, i, count, out, min_mz, all_above);
}

bool widen_double_pairs(const unsigned char* bytes, std::size_t count, Peak* out, double min_mz) {
    std::size_t i = 0;
    bool all_above = true;
#if defined(ORVO_WIDEN_SSE2)
    i = widen_sse2(count, reinterpret_cast<double*>(out), min_mz, all_above,
                   [bytes](std::size_t at, __m128d& first, __m128d& second) {
                       const auto* from = reinterpret_cast<const __m128i*>(bytes + 16 * at);
                       first = _mm_castsi128_pd(swap_64(_mm_loadu_si128(from)));
                       second = _mm_castsi128_pd(swap_64(_mm_loadu_si128(from + 1)));
                   });
#endif
    return widen_tail<double>(bytes, i, count, out, min_mz, all_above);
}

} // namespace orvoeng
