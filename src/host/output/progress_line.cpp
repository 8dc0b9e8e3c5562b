#include "progress_line.h"

#include <host/base/middle_ellipsis.h>

#include <fmt/format.h>

#include <algorithm>

namespace orvohost {

namespace {

constexpr std::size_t WIDEST_BAR = 30;
constexpr std::size_t NARROWEST_BAR = 10;
// Shorter than this a label no longer tells one file from another.
constexpr std::size_t SHORTEST_LABEL = 16;
// "[", "] ", the percentage's three digits and "%".
constexpr std::size_t BAR_FRAME = 7;

std::string bar_text(std::uint16_t percentage, std::size_t width) {
    if (percentage > 100)
        return fmt::format("[{:^{}}]   ?%", "working", width);
    const std::size_t filled = percentage * width / 100;
    return fmt::format("[{}{}] {:3}%", std::string(filled, '#'), std::string(width - filled, ' '),
                       percentage);
}

} // namespace

std::string progress_line(std::uint16_t percentage, std::string_view rate, std::string_view label,
                          std::size_t columns) {
    const std::size_t limit = columns > 1 ? columns - 1 : 1;
    const std::size_t label_columns = text_columns(label);
    const std::size_t wanted = std::min(label_columns, SHORTEST_LABEL);
    // The widest bar, with the rate if it can stay, that leaves the label
    // the columns it wants; else the narrowest bar without the rate.
    std::size_t width = NARROWEST_BAR;
    bool with_rate = false;
    bool found = false;
    for (const bool keep_rate : {true, false}) {
        if (keep_rate && rate.empty())
            continue;
        const std::size_t fixed = BAR_FRAME + (keep_rate ? 1 + rate.size() : 0) + 1 + wanted;
        for (std::size_t w = WIDEST_BAR; !found && w >= NARROWEST_BAR; --w)
            if (fixed + w <= limit) {
                width = w;
                with_rate = keep_rate;
                found = true;
            }
        if (found)
            break;
    }
    std::string line = bar_text(percentage, width);
    if (with_rate) {
        line += ' ';
        line += rate;
    }
    // The bar and the rate are plain ASCII: a byte a column.
    if (line.size() > limit)
        line.resize(limit);
    if (line.size() + 1 < limit && !label.empty())
        line += ' ' + middle_ellipsis(label, limit - line.size() - 1);
    return line;
}

} // namespace orvohost
