#include "peak_widen.h"

#include <cstdlib>
#include <string_view>

#if defined(__x86_64__) || defined(__i386__)
#define ORVO_WIDEN_X86 1
#include <immintrin.h>
#endif

namespace orvoeng {

namespace {

#if defined(ORVO_WIDEN_X86)

// Four pairs of floats a step: one shuffle turns the byte order of eight
// values, and each half widens into two peaks. The m/z lanes are checked
// against the floor; the intensity lanes always pass.
__attribute__((target("avx2"))) std::size_t widen_floats_avx2(const unsigned char* bytes,
                                                              std::size_t count, double* out,
                                                              double min_mz, bool& above) {
    const __m256i order = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3,
                                           2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    const __m256d floor = _mm256_set1_pd(min_mz);
    const __m256d intensities = _mm256_castsi256_pd(_mm256_setr_epi64x(0, -1, 0, -1));
    __m256d pass = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m256 values = _mm256_castsi256_ps(_mm256_shuffle_epi8(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 8 * i)), order));
        const __m256d first = _mm256_cvtps_pd(_mm256_castps256_ps128(values));
        const __m256d second = _mm256_cvtps_pd(_mm256_extractf128_ps(values, 1));
        _mm256_storeu_pd(out + 2 * i, first);
        _mm256_storeu_pd(out + 2 * i + 4, second);
        pass =
            _mm256_and_pd(pass, _mm256_or_pd(_mm256_cmp_pd(first, floor, _CMP_GT_OQ), intensities));
        pass = _mm256_and_pd(pass,
                             _mm256_or_pd(_mm256_cmp_pd(second, floor, _CMP_GT_OQ), intensities));
    }
    above = _mm256_movemask_pd(pass) == 0xF;
    return i;
}

// Two pairs of doubles a step.
__attribute__((target("avx2"))) std::size_t widen_doubles_avx2(const unsigned char* bytes,
                                                               std::size_t count, double* out,
                                                               double min_mz, bool& above) {
    const __m256i order = _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8, 7,
                                           6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
    const __m256d floor = _mm256_set1_pd(min_mz);
    const __m256d intensities = _mm256_castsi256_pd(_mm256_setr_epi64x(0, -1, 0, -1));
    __m256d pass = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    std::size_t i = 0;
    for (; i + 2 <= count; i += 2) {
        const __m256d values = _mm256_castsi256_pd(_mm256_shuffle_epi8(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 16 * i)), order));
        _mm256_storeu_pd(out + 2 * i, values);
        pass = _mm256_and_pd(pass,
                             _mm256_or_pd(_mm256_cmp_pd(values, floor, _CMP_GT_OQ), intensities));
    }
    above = _mm256_movemask_pd(pass) == 0xF;
    return i;
}

// ORVO_BASE64=scalar, which holds the decoder to its scalar loop so that
// it can be checked on any machine, holds the widening to it too.
bool vector_steps() {
    static const bool usable = [] {
        const char* named = std::getenv("ORVO_BASE64");
        if (named != nullptr && std::string_view(named) == "scalar")
            return false;
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return usable;
}

#endif

} // namespace

template <class T>
bool widen_pairs(const unsigned char* bytes, std::size_t count, Peak* out, double min_mz) {
    static_assert(sizeof(Peak) == 2 * sizeof(double));
    std::size_t done = 0;
    bool above = true;
#if defined(ORVO_WIDEN_X86)
    if (vector_steps()) {
        // A Peak is its m/z then its intensity: the list is those values in order.
        auto* values = reinterpret_cast<double*>(out);
        done = sizeof(T) == 4 ? widen_floats_avx2(bytes, count, values, min_mz, above)
                              : widen_doubles_avx2(bytes, count, values, min_mz, above);
    }
#endif
    const bool rest =
        widen_pairs_scalar<T>(bytes + 2 * sizeof(T) * done, count - done, out + done, min_mz);
    return above && rest;
}

template bool widen_pairs<float>(const unsigned char*, std::size_t, Peak*, double);
template bool widen_pairs<double>(const unsigned char*, std::size_t, Peak*, double);

} // namespace orvoeng
