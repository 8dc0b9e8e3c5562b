// Text search by literal, case-sensitive matching: no XML parser, no tree.
// Every function works on spans and never fails otherwise than by absence.
//
// `own`: where a text is a line piece followed by the rest of its line (see
// line_cursor.h), only a match that starts before `own` counts, so that a
// value is read whole yet found in one piece only.
#pragma once

#include "vector_path.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvoeng {

constexpr std::size_t ALL_OF_IT = std::string_view::npos;

// The next `c` from `from`, or npos. Attribute "=" and quotes stand a few
// bytes apart in a tag and far apart in peak data: a look at the next 64
// bytes finds the near ones without a call, the C library's memchr the far
// ones. Fewer than 16 bytes left at the end of a text of 16 or more (where
// a search through a line's last attributes mostly ends) are looked at in
// the text's last 16, those before `from` left out, not by a call.
[[gnu::always_inline]] inline std::size_t next_byte(std::string_view text, char c,
                                                    std::size_t from) {
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi8(c);
    for (int window = 0; window < 4 && from + 16 <= text.size(); ++window, from += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + from));
        const auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
        if (hits != 0)
            return from + static_cast<std::size_t>(__builtin_ctz(hits));
    }
    if (from + 16 > text.size() && text.size() >= 16) {
        if (from >= text.size())
            return std::string_view::npos;
        const std::size_t last = text.size() - 16;
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + last));
        const auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted))) >>
                          (from - last);
        return hits != 0 ? from + static_cast<std::size_t>(__builtin_ctz(hits))
                         : std::string_view::npos;
    }
#endif
    return text.find(c, from);
}

// The first `what` in `text` from `from`, or npos. A text that holds a byte
// base64 data cannot (such as "<", a quote or "=") is found by stopping at
// that byte; one made of base64 letters only by a substring search that
// skips ahead (the C library's memmem), as peak data are full of its bytes.
std::size_t find_text(std::string_view text, std::string_view what, std::size_t from = 0);

// The first `a` or `b` in `text` from `from`, or npos: one look at each byte,
// by the given vector path (the widest the processor has when not given).
std::size_t find_either(std::string_view text, char a, char b, std::size_t from, VectorPath path);
std::size_t find_either(std::string_view text, char a, char b, std::size_t from = 0);

// The value of `name="..."`: the first occurrence of name followed by "=",
// anywhere (a name also matches the tail of a longer name). The value starts
// two characters after the name and ends before the next double quote. False,
// `value` untouched, when there is no closing quote.
bool attribute_view(std::string_view text, std::string_view name, std::string_view& value,
                    std::size_t own = ALL_OF_IT);

// The value of the attribute whose "=" stands at `equals`, as attribute_view
// takes it: from two characters after the "=" to the next double quote.
// False, `value` untouched, when there is no closing quote.
bool value_after(std::string_view text, std::size_t equals, std::string_view& value);

// Names looked for together (at most 16), with which of them end in each
// byte, so that a pass over a text's "=" compares only the names that can
// end right before it.
class AttributeNames {
public:
    static constexpr std::size_t MOST = 16;
    template <std::size_t N>
    constexpr explicit AttributeNames(const std::string_view (&list)[N]) : count(N) {
        static_assert(N <= MOST);
        for (std::size_t i = 0; i < N; ++i) {
            names[i] = list[i];
            if (!list[i].empty())
                ending[static_cast<unsigned char>(list[i].back())] |= std::uint16_t(1u << i);
            else
                empty |= std::uint16_t(1u << i);
            // The last eight bytes (all of a shorter name) as the word a
            // little-endian load of the eight bytes before a "=" gives.
            const std::size_t tail = list[i].size() < WORD ? list[i].size() : WORD;
            for (std::size_t k = 0; k < tail; ++k) {
                const auto shift = 8 * (WORD - tail + k);
                const auto byte = static_cast<unsigned char>(list[i][list[i].size() - tail + k]);
                tail_words[i] |= std::uint64_t{byte} << shift;
                tail_masks[i] |= std::uint64_t{0xFF} << shift;
            }
        }
    }
    std::size_t size() const { return count; }
    std::string_view operator[](std::size_t i) const { return names[i]; }
    // The names that can end right before a "=" after `c`.
    std::uint16_t ending_in(char c) const {
        return static_cast<std::uint16_t>(ending[static_cast<unsigned char>(c)] | empty);
    }
    // Whether name `i` stands in `text` right before `end`, with at least
    // its size of bytes before `end`. Names are compared at every "=" of a
    // tag: the last eight bytes go as one word, not byte by byte.
    bool stands_before(std::string_view text, std::size_t end, std::size_t i) const {
        const std::string_view name = names[i];
        std::size_t k = 0; // bytes of the name's end compared so far
        if constexpr (std::endian::native == std::endian::little) {
            if (end >= WORD) {
                std::uint64_t word;
                std::memcpy(&word, text.data() + end - WORD, WORD);
                if ((word & tail_masks[i]) != tail_words[i])
                    return false;
                k = name.size() < WORD ? name.size() : WORD;
            }
        }
        for (; k < name.size(); ++k)
            if (text[end - 1 - k] != name[name.size() - 1 - k])
                return false;
        return true;
    }

private:
    static constexpr std::size_t WORD = sizeof(std::uint64_t);
    std::string_view names[MOST] = {};
    std::uint16_t ending[256] = {};
    std::uint16_t empty = 0;
    std::uint64_t tail_words[MOST] = {};
    std::uint64_t tail_masks[MOST] = {};
    std::size_t count;
};

// attribute_view for several names in one pass over the text: `found[i]` and
// `values[i]` as attribute_view would give them for `names[i]`.
void attribute_views(std::string_view text, std::size_t own, const AttributeNames& names,
                     std::string_view* values, bool* found);

// One stretch of that pass, for a caller that knows where "=" cannot be:
// the "=" at [from, to) in order, for the names whose bits are set in
// `open` (name i is bit i); names and values are read from the whole text.
// Returns the names still not met. Stretches taken in order, with every
// "=" of the text in one of them, give what attribute_views gives.
std::uint32_t attribute_views_between(std::string_view text, std::size_t from, std::size_t to,
                                      const AttributeNames& names, std::string_view* values,
                                      bool* found, std::uint32_t open);

// XML white space: what may stand after an element's name, before its
// attributes, the same for every search.
constexpr bool is_xml_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The first `tag` (such as "<peaks") from `from` that white space follows,
// so that attributes come after it; npos when none.
std::size_t find_tag_with_attributes(std::string_view text, std::string_view tag,
                                     std::size_t from = 0);

// The text of element `name`: "<name" followed by white space or ">", up to
// "</name" or the end of the text. An empty text is not found.
bool element_text_view(std::string_view text, std::string_view name, std::string_view& value,
                       std::size_t own = ALL_OF_IT);

// The inside of the first "<name" tag, from the name up to (not including)
// the next ">"; empty when absent.
std::string_view start_tag_view(std::string_view text, std::string_view name);

// The same searches giving strings.
bool find_attribute(std::string_view text, std::string_view name, std::string& value);
bool find_element_text(std::string_view text, std::string_view name, std::string& value);
std::string find_start_tag(std::string_view text, std::string_view name);

// Exactly "1", "true" or "TRUE".
bool is_true_value(std::string_view value);

} // namespace orvoeng
