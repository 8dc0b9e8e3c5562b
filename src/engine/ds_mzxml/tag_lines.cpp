#include "tag_lines.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvoeng {

namespace {

constexpr std::size_t npos = std::string_view::npos;

constexpr bool is_mark(char c) {
    return c == '\n' || c == '=' || c == '<' || c == '>' || c == '\0';
}

// The next byte from `from` that matters to the pass: a line's end, an
// attribute's "=", a tag's "<" or ">", a NUL. One look at each byte finds
// all five. Marks stand a few bytes apart: inlined, each costs no call.
[[gnu::always_inline]] inline std::size_t next_mark(std::string_view text, std::size_t from) {
#if defined(__SSE2__)
    const __m128i feed = _mm_set1_epi8('\n');
    const __m128i equals = _mm_set1_epi8('=');
    const __m128i open = _mm_set1_epi8('<');
    const __m128i close = _mm_set1_epi8('>');
    const __m128i nul = _mm_setzero_si128();
    for (; from + 16 <= text.size(); from += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + from));
        const __m128i hits = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(bytes, feed), _mm_cmpeq_epi8(bytes, equals)),
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, open), _mm_cmpeq_epi8(bytes, close)),
                         _mm_cmpeq_epi8(bytes, nul)));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
        if (mask != 0)
            return from + static_cast<std::size_t>(__builtin_ctz(mask));
    }
#endif
    for (; from < text.size(); ++from)
        if (is_mark(text[from]))
            return from;
    return npos;
}

bool name_at(std::string_view text, std::size_t at, std::string_view name) {
    for (std::size_t i = 0; i < name.size(); ++i)
        if (text[at + i] != name[i])
            return false;
    return true;
}

} // namespace

bool read_tag_lines(std::string_view bytes, const AttributeNames& names, std::size_t longest_line,
                    TagLines& out) {
    out.length = 0;
    out.count = 0;
    const std::uint32_t all = (1u << names.size()) - 1;
    std::uint32_t open = all; // names not met yet in the current line
    std::size_t line_start = 0;
    bool closed = false;
    // The tag's own "<" starts the bytes; any other is another tag.
    for (std::size_t at = next_mark(bytes, 1); at != npos; at = next_mark(bytes, at + 1)) {
        switch (bytes[at]) {
        case '>':
            closed = true;
            break;
        case '\n':
            if (at + 1 - line_start > longest_line)
                return false;
            if (closed) {
                out.length = at + 1;
                return true;
            }
            line_start = at + 1;
            open = all;
            break;
        case '=': {
            const std::size_t in_line = at - line_start;
            std::uint32_t candidates =
                open & (in_line > 0 ? names.ending_in(bytes[at - 1]) : names.ending_in('\0'));
            for (; candidates != 0; candidates &= candidates - 1) {
                const auto i = static_cast<std::size_t>(__builtin_ctz(candidates));
                const std::string_view name = names[i];
                if (in_line < name.size() || !name_at(bytes, at - name.size(), name))
                    continue;
                open &= ~(1u << i);
                // The value runs from after the opening quote to the next
                // quote; one that the line does not close is the line
                // reader's to judge.
                const std::size_t start = at + 2;
                if (start >= bytes.size())
                    return false;
                const std::size_t end = next_byte(bytes, '"', start);
                if (end == npos)
                    return false;
                if (bytes.substr(at + 1, end - at - 1).find('\n') != npos ||
                    out.count == TagLines::MOST)
                    return false;
                out.values[out.count++] = {i, bytes.substr(start, end - start)};
            }
            break;
        }
        default: // "<" or NUL
            return false;
        }
    }
    return false;
}

} // namespace orvoeng
