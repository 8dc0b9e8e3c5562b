#include "tag_search.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || (defined(__i386__) && defined(__SSE2__))
#define ORVO_SEARCH_X86 1
#include <immintrin.h>
#endif

namespace orvoeng {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Whether `name` stands at `at` in `text`, which holds it whole. Names are
// a few bytes: a loop here costs less than a call to memcmp.
bool name_at(std::string_view text, std::size_t at, std::string_view name) {
    for (std::size_t i = 0; i < name.size(); ++i)
        if (text[at + i] != name[i])
            return false;
    return true;
}

// The first position from `from` at which `prefix` followed by `name` starts.
// Prefixes start with "<", which peak data never hold, so each occurrence of
// the prefix is a candidate worth one comparison.
std::size_t find_prefixed(std::string_view text, std::string_view prefix, std::string_view name,
                          std::size_t from) {
    for (std::size_t at = find_text(text, prefix, from); at != npos;
         at = find_text(text, prefix, at + 1))
        if (text.size() - at - prefix.size() >= name.size() &&
            name_at(text, at + prefix.size(), name))
            return at;
    return npos;
}

// Whether `c` can stand in base64 text other than as its end padding.
constexpr bool in_base64(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/';
}

#if defined(ORVO_SEARCH_X86)

// The steps of find_either by each path. A start tag runs to hundreds of
// bytes: 64 of them are looked at with one test, and the one that matches
// is found after. Each but the widest ends where fewer bytes are left than
// a step takes, or at the match: the caller looks at the rest a byte at a
// time.
std::size_t either_sse2(std::string_view text, char a, char b, std::size_t from) {
    const __m128i first = _mm_set1_epi8(a);
    const __m128i second = _mm_set1_epi8(b);
    const auto matches = [&](std::size_t at) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
        return _mm_or_si128(_mm_cmpeq_epi8(bytes, first), _mm_cmpeq_epi8(bytes, second));
    };
    for (; from + 64 <= text.size(); from += 64) {
        const __m128i m0 = matches(from);
        const __m128i m1 = matches(from + 16);
        const __m128i m2 = matches(from + 32);
        const __m128i m3 = matches(from + 48);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(m0, m1), _mm_or_si128(m2, m3))) == 0)
            continue;
        const auto hits =
            static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m0))) |
            static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m1))) << 16 |
            static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m2))) << 32 |
            static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m3))) << 48;
        return from + static_cast<std::size_t>(__builtin_ctzll(hits));
    }
    for (; from + 16 <= text.size(); from += 16) {
        const auto hits = static_cast<unsigned>(_mm_movemask_epi8(matches(from)));
        if (hits != 0)
            return from + static_cast<std::size_t>(__builtin_ctz(hits));
    }
    return from;
}

__attribute__((target("avx2"))) inline __m256i either_matches(const char* at, __m256i first,
                                                              __m256i second) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    return _mm256_or_si256(_mm256_cmpeq_epi8(bytes, first), _mm256_cmpeq_epi8(bytes, second));
}

__attribute__((target("avx2"))) std::size_t either_avx2(std::string_view text, char a, char b,
                                                        std::size_t from) {
    const __m256i first = _mm256_set1_epi8(a);
    const __m256i second = _mm256_set1_epi8(b);
    for (; from + 64 <= text.size(); from += 64) {
        const __m256i m0 = either_matches(text.data() + from, first, second);
        const __m256i m1 = either_matches(text.data() + from + 32, first, second);
        const __m256i any = _mm256_or_si256(m0, m1);
        if (_mm256_testz_si256(any, any))
            continue;
        const auto hits =
            static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(m0))) |
            static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(m1))) << 32;
        return from + static_cast<std::size_t>(__builtin_ctzll(hits));
    }
    for (; from + 32 <= text.size(); from += 32) {
        const auto hits = static_cast<unsigned>(
            _mm256_movemask_epi8(either_matches(text.data() + from, first, second)));
        if (hits != 0)
            return from + static_cast<std::size_t>(__builtin_ctz(hits));
    }
    return from;
}

// The whole search: the last step loads only the bytes left, which a
// masked load may do at any place without reading past the text.
__attribute__((target("avx512f,avx512bw"))) std::size_t either_avx512(std::string_view text, char a,
                                                                      char b, std::size_t from) {
    const __m512i first = _mm512_set1_epi8(a);
    const __m512i second = _mm512_set1_epi8(b);
    for (; from < text.size(); from += 64) {
        const std::size_t left = text.size() - from;
        const __mmask64 wanted = left >= 64 ? ~__mmask64{0} : (__mmask64{1} << left) - 1;
        const __m512i bytes = _mm512_maskz_loadu_epi8(wanted, text.data() + from);
        const __mmask64 hits =
            (_mm512_cmpeq_epi8_mask(bytes, first) | _mm512_cmpeq_epi8_mask(bytes, second)) & wanted;
        if (hits != 0)
            return from + static_cast<std::size_t>(__builtin_ctzll(hits));
    }
    return npos;
}

#endif

} // namespace

bool value_after(std::string_view text, std::size_t equals, std::string_view& value) {
    // The character after "=" is taken as the opening quote, whatever it is;
    // a name and "=" that end the text have no value.
    const std::size_t start = equals + 2;
    if (start > text.size())
        return false;
    const std::size_t close = next_byte(text, '"', start);
    if (close == npos)
        return false;
    value = text.substr(start, close - start);
    return true;
}

std::size_t find_text(std::string_view text, std::string_view what, std::size_t from) {
    if (from > text.size())
        return npos;
    if (what.empty())
        return from;
    if (text.size() - from < what.size())
        return npos;
    // Markup ("<peaks", `precision="32"`) holds a byte that peak data do
    // not: stopping at each such byte finds every occurrence in order and
    // costs nothing to set up, where a skipping search pays its set-up on
    // every short line.
    std::size_t anchor = 0;
    while (anchor < what.size() && in_base64(what[anchor]))
        ++anchor;
    if (anchor < what.size()) {
        // Where the anchor byte may stand: from `anchor` bytes after `from`
        // up to `tail` bytes before the end.
        const std::size_t tail = what.size() - anchor;
        const std::string_view places = text.substr(0, text.size() - tail + 1);
        for (std::size_t at = next_byte(places, what[anchor], from + anchor); at != npos;
             at = next_byte(places, what[anchor], at + 1)) {
            const std::size_t start = at - anchor;
            if (name_at(text, start, what))
                return start;
        }
        return npos;
    }
#if defined(__GLIBC__)
    const void* at = ::memmem(text.data() + from, text.size() - from, what.data(), what.size());
    return at ? static_cast<std::size_t>(static_cast<const char*>(at) - text.data()) : npos;
#else
    return text.find(what, from);
#endif
}

std::size_t find_either(std::string_view text, char a, char b, std::size_t from, VectorPath path) {
    if (from >= text.size())
        return npos;
#if defined(ORVO_SEARCH_X86)
    if (path == VectorPath::AVX512)
        return either_avx512(text, a, b, from);
    if (path == VectorPath::AVX2)
        from = either_avx2(text, a, b, from);
    else
        from = either_sse2(text, a, b, from);
#else
    (void)path;
#endif
    for (; from < text.size(); ++from)
        if (text[from] == a || text[from] == b)
            return from;
    return npos;
}

std::size_t find_either(std::string_view text, char a, char b, std::size_t from) {
    return find_either(text, a, b, from, vector_path());
}

std::size_t find_tag_with_attributes(std::string_view text, std::string_view tag,
                                     std::size_t from) {
    for (std::size_t at = find_text(text, tag, from); at != npos; at = find_text(text, tag, at + 1))
        if (at + tag.size() < text.size() && is_xml_space(text[at + tag.size()]))
            return at;
    return npos;
}

bool attribute_view(std::string_view text, std::string_view name, std::string_view& value,
                    std::size_t own) {
    // The first name followed by "=" is the first "=" that the name ends
    // at: "=" is rare where peak data are, a name's letters are not.
    for (std::size_t equals = next_byte(text, '=', 0); equals != npos;
         equals = next_byte(text, '=', equals + 1)) {
        if (equals < name.size() || !name_at(text, equals - name.size(), name))
            continue;
        return equals - name.size() < own && value_after(text, equals, value);
    }
    return false;
}

namespace {

// The pass of attribute_views over the "=" at [from, to).
std::uint32_t views_between(std::string_view text, std::size_t from, std::size_t to,
                            std::size_t own, const AttributeNames& names, std::string_view* values,
                            bool* found, std::uint32_t open) {
    const std::string_view searched = text.substr(0, std::min(to, text.size()));
    for (std::size_t equals = next_byte(searched, '=', from); equals != npos && open != 0;
         equals = next_byte(searched, '=', equals + 1)) {
        std::uint32_t candidates =
            open & (equals > 0 ? names.ending_in(text[equals - 1]) : names.ending_in('\0'));
        for (; candidates != 0; candidates &= candidates - 1) {
            const auto i = static_cast<std::size_t>(__builtin_ctz(candidates));
            const std::string_view name = names[i];
            if (equals < name.size())
                continue;
            if (equals - name.size() >= own || !names.stands_before(text, equals, i))
                continue;
            open &= ~(1u << i);
            found[i] = value_after(text, equals, values[i]);
        }
    }
    return open;
}

} // namespace

void attribute_views(std::string_view text, std::size_t own, const AttributeNames& names,
                     std::string_view* values, bool* found) {
    for (std::size_t i = 0; i < names.size(); ++i)
        found[i] = false;
    views_between(text, 0, ALL_OF_IT, own, names, values, found, (1u << names.size()) - 1);
}

std::uint32_t attribute_views_between(std::string_view text, std::size_t from, std::size_t to,
                                      const AttributeNames& names, std::string_view* values,
                                      bool* found, std::uint32_t open) {
    return views_between(text, from, to, ALL_OF_IT, names, values, found, open);
}

bool element_text_view(std::string_view text, std::string_view name, std::string_view& value,
                       std::size_t own) {
    const std::size_t at = find_prefixed(text, "<", name, 0);
    if (at == npos || at >= own)
        return false;
    const std::size_t after = at + 1 + name.size();
    if (after >= text.size() || (!is_xml_space(text[after]) && text[after] != '>'))
        return false;
    const std::size_t tag_end = next_byte(text, '>', at);
    if (tag_end == npos)
        return false;
    const std::size_t content = tag_end + 1;
    std::size_t end = find_prefixed(text, "</", name, content);
    if (end == npos)
        end = text.size();
    if (end == content)
        return false;
    value = text.substr(content, end - content);
    return true;
}

std::string_view start_tag_view(std::string_view text, std::string_view name) {
    const std::size_t at = find_prefixed(text, "<", name, 0);
    if (at == npos)
        return {};
    const std::size_t tag_end = next_byte(text, '>', at);
    if (tag_end == npos)
        return {};
    return text.substr(at + 1, tag_end - at - 1);
}

namespace {

// A span search giving a string: `value` is replaced only when found.
template <class Search>
bool found_as_string(Search search, std::string_view text, std::string_view name,
                     std::string& value) {
    std::string_view found;
    if (!search(text, name, found, ALL_OF_IT))
        return false;
    value.assign(found);
    return true;
}

} // namespace

bool find_attribute(std::string_view text, std::string_view name, std::string& value) {
    return found_as_string(attribute_view, text, name, value);
}

bool find_element_text(std::string_view text, std::string_view name, std::string& value) {
    return found_as_string(element_text_view, text, name, value);
}

std::string find_start_tag(std::string_view text, std::string_view name) {
    return std::string(start_tag_view(text, name));
}

bool is_true_value(std::string_view value) {
    return value == "1" || value == "true" || value == "TRUE";
}

} // namespace orvoeng
