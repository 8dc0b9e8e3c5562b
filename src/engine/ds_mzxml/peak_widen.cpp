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

// `pass` with the lanes of `peaks` that fail the floor cleared; intensity
// lanes (set in `intensities`) always pass.
[[gnu::always_inline]] __attribute__((target("avx2"))) inline __m256d
passed(__m256d pass, __m256d peaks, __m256d floor, __m256d intensities) {
    return _mm256_and_pd(pass, _mm256_or_pd(_mm256_cmp_pd(peaks, floor, _CMP_GT_OQ), intensities));
}

// A step takes 32 bytes: four pairs of floats or two of doubles. One
// shuffle turns the byte order of every value; floats widen a half at a
// time into two peaks each. The m/z lanes are checked against the floor;
// the intensity lanes always pass.
template <class T>
__attribute__((target("avx2"))) std::size_t
widen_avx2(const unsigned char* bytes, std::size_t count, double* out, double min_mz, bool& above) {
    constexpr std::size_t PAIRS = 32 / (2 * sizeof(T));
    const __m256i order =
        sizeof(T) == 4 ? _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3,
                                          2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12)
                       : _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8, 7,
                                          6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
    const __m256d floor = _mm256_set1_pd(min_mz);
    const __m256d intensities = _mm256_castsi256_pd(_mm256_setr_epi64x(0, -1, 0, -1));
    __m256d pass = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    std::size_t i = 0;
    for (; i + PAIRS <= count; i += PAIRS) {
        const __m256i values = _mm256_shuffle_epi8(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 2 * sizeof(T) * i)), order);
        if constexpr (sizeof(T) == 4) {
            const __m256 floats = _mm256_castsi256_ps(values);
            const __m256d first = _mm256_cvtps_pd(_mm256_castps256_ps128(floats));
            const __m256d second = _mm256_cvtps_pd(_mm256_extractf128_ps(floats, 1));
            _mm256_storeu_pd(out + 2 * i, first);
            _mm256_storeu_pd(out + 2 * i + 4, second);
            pass = passed(pass, first, floor, intensities);
            pass = passed(pass, second, floor, intensities);
        } else {
            const __m256d doubles = _mm256_castsi256_pd(values);
            _mm256_storeu_pd(out + 2 * i, doubles);
            pass = passed(pass, doubles, floor, intensities);
        }
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
        done = widen_avx2<T>(bytes, count, values, min_mz, above);
    }
#endif
    const bool rest =
        widen_pairs_scalar<T>(bytes + 2 * sizeof(T) * done, count - done, out + done, min_mz);
    return above && rest;
}

template bool widen_pairs<float>(const unsigned char*, std::size_t, Peak*, double);
template bool widen_pairs<double>(const unsigned char*, std::size_t, Peak*, double);

} // namespace orvoeng
