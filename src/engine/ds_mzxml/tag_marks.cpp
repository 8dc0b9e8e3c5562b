#include "tag_marks.h"

#if defined(__x86_64__) || (defined(__i386__) && defined(__SSE2__))
#define ORVO_TAG_MARKS_X86 1
#include <immintrin.h>
#endif

namespace orvoeng {

namespace {

[[maybe_unused]] void marks_bytewise(const char* data, std::size_t blocks, TagMarks* out) {
    for (std::size_t b = 0; b < blocks; ++b, data += 64) {
        TagMarks found{0, 0};
        for (unsigned i = 0; i < 64; ++i) {
            const char c = data[i];
            const bool mark = c == '\n' || c == '=' || c == '<' || c == '>' || c == '\0';
            found.marks |= static_cast<std::uint64_t>(mark) << i;
            found.value_ends |= static_cast<std::uint64_t>(c == '"' || c == '\n') << i;
        }
        out[b] = found;
    }
}

#if defined(ORVO_TAG_MARKS_X86)

void marks_sse2(const char* data, std::size_t blocks, TagMarks* out) {
    const __m128i feed = _mm_set1_epi8('\n');
    const __m128i equals = _mm_set1_epi8('=');
    const __m128i open = _mm_set1_epi8('<');
    const __m128i close = _mm_set1_epi8('>');
    const __m128i nul = _mm_setzero_si128();
    const __m128i quote = _mm_set1_epi8('"');
    for (std::size_t b = 0; b < blocks; ++b, data += 64) {
        std::uint64_t marks = 0;
        std::uint64_t value_ends = 0;
        for (unsigned i = 0; i < 64; i += 16) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            const __m128i feeds = _mm_cmpeq_epi8(chunk, feed);
            const __m128i hits =
                _mm_or_si128(_mm_or_si128(feeds, _mm_cmpeq_epi8(chunk, equals)),
                             _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, open),
                                                       _mm_cmpeq_epi8(chunk, close)),
                                          _mm_cmpeq_epi8(chunk, nul)));
            const __m128i ends = _mm_or_si128(feeds, _mm_cmpeq_epi8(chunk, quote));
            marks |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hits)))
                     << i;
            value_ends |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(ends)))
                          << i;
        }
        out[b] = {marks, value_ends};
    }
}

__attribute__((target("avx2"))) void marks_avx2(const char* data, std::size_t blocks,
                                                TagMarks* out) {
    const __m256i feed = _mm256_set1_epi8('\n');
    const __m256i equals = _mm256_set1_epi8('=');
    const __m256i open = _mm256_set1_epi8('<');
    const __m256i close = _mm256_set1_epi8('>');
    const __m256i nul = _mm256_setzero_si256();
    const __m256i quote = _mm256_set1_epi8('"');
    for (std::size_t b = 0; b < blocks; ++b, data += 64) {
        std::uint64_t marks = 0;
        std::uint64_t value_ends = 0;
        for (unsigned i = 0; i < 64; i += 32) {
            const __m256i chunk = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
            const __m256i feeds = _mm256_cmpeq_epi8(chunk, feed);
            const __m256i hits =
                _mm256_or_si256(_mm256_or_si256(feeds, _mm256_cmpeq_epi8(chunk, equals)),
                                _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(chunk, open),
                                                                _mm256_cmpeq_epi8(chunk, close)),
                                                _mm256_cmpeq_epi8(chunk, nul)));
            const __m256i ends = _mm256_or_si256(feeds, _mm256_cmpeq_epi8(chunk, quote));
            marks |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(hits)))
                     << i;
            value_ends |=
                static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(ends))) << i;
        }
        out[b] = {marks, value_ends};
    }
}

__attribute__((target("avx512f,avx512bw"))) void marks_avx512(const char* data, std::size_t blocks,
                                                              TagMarks* out) {
    const __m512i feed = _mm512_set1_epi8('\n');
    const __m512i equals = _mm512_set1_epi8('=');
    const __m512i open = _mm512_set1_epi8('<');
    const __m512i close = _mm512_set1_epi8('>');
    const __m512i quote = _mm512_set1_epi8('"');
    for (std::size_t b = 0; b < blocks; ++b, data += 64) {
        const __m512i chunk = _mm512_loadu_si512(data);
        const __mmask64 feeds = _mm512_cmpeq_epi8_mask(chunk, feed);
        const __mmask64 marks =
            feeds | _mm512_cmpeq_epi8_mask(chunk, equals) | _mm512_cmpeq_epi8_mask(chunk, open) |
            _mm512_cmpeq_epi8_mask(chunk, close) | _mm512_testn_epi8_mask(chunk, chunk);
        out[b] = {marks, feeds | _mm512_cmpeq_epi8_mask(chunk, quote)};
    }
}

#endif

} // namespace

void find_tag_marks(VectorPath path, const char* data, std::size_t blocks, TagMarks* out) {
#if defined(ORVO_TAG_MARKS_X86)
    switch (path) {
    case VectorPath::AVX512:
        return marks_avx512(data, blocks, out);
    case VectorPath::AVX2:
        return marks_avx2(data, blocks, out);
    case VectorPath::BASE:
        return marks_sse2(data, blocks, out);
    }
#else
    (void)path;
#endif
    marks_bytewise(data, blocks, out);
}

} // namespace orvoeng
