#include "one_pass_peaks.h"

#include "tag_search.h"
#include "text_number.h"

#include <pal/exception.h>
#include <pal/string.h>

#include <algorithm>

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

// Which of the texts that name plain peaks a text holds. Each is a name,
// "=" and a quoted value, so each occurrence is found at an "=" of the
// text, with the name before it and the value after: one look at each "="
// instead of a search of the text for each.
struct PeakNames {
    bool single = false; // precision="32"
    bool wide = false;   // precision="64"
    bool network = false;
    bool pairs = false;

    void look_at(std::string_view text) {
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
            }
        }
    }
};

} // namespace

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
    const std::uint32_t open = attribute_views_between(text, 0, content, PEAK_SCAN_NAMES, values,
                                                       given, (1u << PEAK_SCAN_NAMES.size()) - 1);
    // A count found further on, or none to read, is the exact way's.
    if (!given[0])
        return false;
    const std::int32_t count = text_to_int32(values[0]);
    if (count <= 0)
        return false;
    const std::string_view markup = text.substr(tag, content - tag);
    std::string_view compression;
    if (attribute_view(markup, "compressionType", compression) && compression != "none")
        return false;

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
    named.look_at(markup);
    named.look_at(tail);
    const bool single = named.single;
    if ((!single && !named.wide) || !named.network || !named.pairs)
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
