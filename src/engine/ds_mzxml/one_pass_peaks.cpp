#include "one_pass_peaks.h"

#include "tag_search.h"
#include "text_number.h"

#include <pal/exception.h>
#include <pal/string.h>

#include <algorithm>
#include <iterator>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvoeng {

namespace {

constexpr std::size_t npos = std::string_view::npos;
// How far from a scan's end its last "</peaks>" is looked for.
constexpr std::size_t CLOSE_REACH = 4096;

// Decodes as the exact way does: the same room, so the same failures.
template <class T>
std::uint32_t decode_plain(std::string_view data, std::int32_t count, const DecodeRoom& room,
                           std::size_t& padded) {
    const std::size_t n = 2 * static_cast<std::size_t>(count);
    const std::size_t decodable = data.size() / 4 * 3 / sizeof(T) + 1;
    const std::size_t units = std::min(n + 1, decodable);
    return PAL::base64_decode_ws(data, PAL::NATIVE_ORDER, sizeof(T), units, room(units * sizeof(T)),
                                 padded);
}

// attribute_views_between for the peak read's scan attributes over the "="
// at [from, to). Both names are ten letters, so only a place whose first
// letter is one of theirs with a "=" ten bytes on can start one, and sixteen
// places are tried in one step, where a search for each "=" would stop at
// every attribute of the scan's header (some twenty-five in a ReAdW scan).
std::uint32_t peak_scan_views(std::string_view text, std::size_t from, std::size_t to,
                              std::string_view* values, bool* found, std::uint32_t open) {
    constexpr std::string_view FIRST = PEAK_SCAN_LIST[0];
    constexpr std::string_view SECOND = PEAK_SCAN_LIST[1];
    constexpr std::size_t REACH = FIRST.size(); // from a name's first letter to its "="
    static_assert(SECOND.size() == REACH && std::size(PEAK_SCAN_LIST) == 2);
    to = std::min(to, text.size());
    if (to <= REACH)
        return open;
    std::size_t at = from > REACH ? from - REACH : 0;
    const std::size_t stop = to - REACH; // the places whose "=" is before `to`
    const auto look = [&](std::size_t place) {
        const std::string_view name = text.substr(place, REACH);
        const std::uint32_t bit = name == FIRST ? 1U : name == SECOND ? 2U : 0U;
        if ((open & bit) == 0)
            return;
        open &= ~bit;
        found[bit >> 1] = value_after(text, place + REACH, values[bit >> 1]);
    };
#if defined(__SSE2__)
    const __m128i equals = _mm_set1_epi8('=');
    const __m128i first = _mm_set1_epi8(FIRST[0]);
    const __m128i second = _mm_set1_epi8(SECOND[0]);
    for (; open != 0 && at + 16 <= stop; at += 16) {
        const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
        const __m128i ends =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at + REACH));
        const __m128i letters =
            _mm_or_si128(_mm_cmpeq_epi8(starts, first), _mm_cmpeq_epi8(starts, second));
        auto hits = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(letters, _mm_cmpeq_epi8(ends, equals))));
        for (; hits != 0 && open != 0; hits &= hits - 1)
            look(at + static_cast<std::size_t>(__builtin_ctz(hits)));
    }
#endif
    for (; open != 0 && at < stop; ++at)
        if (text[at + REACH] == '=' && (text[at] == FIRST[0] || text[at] == SECOND[0]))
            look(at);
    return open;
}

// Which of the texts that name plain peaks a text holds. Each is a name,
// "=" and a quoted value, so each occurrence is found at an "=" of the
// text, with the name before it and the value after: one look at each "="
// instead of a search of the text for each.
struct PeakNames {
    bool single = false; // precision="32"
    bool wide = false;   // precision="64"
    bool network = false;
    bool pairs = false;
    // In the peaks tag: its first compressionType, as attribute_view takes
    // it, names another compression than "none".
    bool compressed = false;

    void look_at(std::string_view text, bool tag) {
        bool compression_seen = !tag;
        for (std::size_t equals = next_byte(text, '=', 0); equals != npos;
             equals = next_byte(text, '=', equals + 1)) {
            const std::string_view name = text.substr(0, equals);
            const std::string_view value = text.substr(equals + 1);
            if (name.ends_with("precision")) {
                single = single || value.starts_with("\"32\"");
                wide = wide || value.starts_with("\"64\"");
            } else if (name.ends_with("byteOrder")) {
                network = network || value.starts_with("\"network\"");
            } else if (name.ends_with("pairOrder")) {
                pairs = pairs || value.starts_with("\"m/z-int\"");
            } else if (!compression_seen && name.ends_with("compressionType")) {
                compression_seen = true;
                std::string_view compression;
                compressed = value_after(text, equals, compression) && compression != "none";
            }
        }
    }
};

} // namespace

bool opens_with_scan_tag(std::string_view text) {
    constexpr std::string_view SCAN_TAG = "<scan";
    if (!text.starts_with(SCAN_TAG))
        return false;
    const std::size_t end = find_either(text, '>', '\0', SCAN_TAG.size());
    return end != npos && text[end] == '>';
}

bool read_peaks_in_one_pass(std::string_view text, PlainPeaks& found, const DecodeRoom& room) {
    const std::size_t tag = find_tag_with_attributes(text, "<peaks");
    if (tag == npos)
        return false;
    const std::size_t gt = text.find('>', tag);
    if (gt == npos)
        return false;
    const std::size_t content = gt + 1;
    std::string_view values[2];
    bool given[2] = {false, false};
    const std::uint32_t open =
        peak_scan_views(text, 0, content, values, given, (1u << PEAK_SCAN_NAMES.size()) - 1);
    // A count found further on, or none to read, is the exact way's.
    if (!given[0])
        return false;
    const std::int32_t count = text_to_int32(values[0]);
    if (count <= 0)
        return false;
    const std::string_view markup = text.substr(tag, content - tag);

    // The data end at the scan's last "</peaks>", which is its first when
    // the decoder, which stops at any "<", takes every byte before it.
    const std::size_t window =
        text.size() - content > CLOSE_REACH ? text.size() - CLOSE_REACH : content;
    std::size_t close = text.substr(window).rfind("</peaks>");
    if (close == npos)
        return false;
    close += window;
    const std::string_view data = text.substr(content, close - content);
    const std::string_view tail = text.substr(close);
    // A name with its quoted value holds a quote, which data that decode
    // cannot: the tag and what follows the data are all there is to search.
    PeakNames named;
    named.look_at(markup, true);
    named.look_at(tail, false);
    const bool single = named.single;
    if (named.compressed || (!single && !named.wide) || !named.network || !named.pairs)
        return false;

    std::size_t padded = npos;
    try {
        found.values = single ? decode_plain<float>(data, count, room, padded)
                              : decode_plain<double>(data, count, room, padded);
    } catch (const PAL::Exception&) {
        return false; // the exact way finds the data's end and raises
    }
    // The data hold an "=" only from their first padded group on.
    if (open != 0)
        attribute_views_between(text, padded == npos ? close : content + padded, ALL_OF_IT,
                                PEAK_SCAN_NAMES, values, given, open);
    found.count = count;
    found.single = single;
    found.centroided_given = given[1];
    found.centroided = given[1] && is_true_value(values[1]);
    found.data_size = data.size();
    return true;
}

} // namespace orvoeng
