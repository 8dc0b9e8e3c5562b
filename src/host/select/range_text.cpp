#include "range_text.h"

#include <fmt/format.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>

namespace orvohost {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::uint32_t parse_whole(std::string_view text, std::uint32_t least, std::uint32_t most) {
    text = trimmed(text);
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error == std::errc::invalid_argument || end != text.data() + text.size())
        throw std::invalid_argument(fmt::format("'{}' is not a whole number", text));
    if (error == std::errc::result_out_of_range || value < least || value > most)
        throw std::invalid_argument(
            fmt::format("{} is outside the range {} to {}", text, least, most));
    return static_cast<std::uint32_t>(value);
}

} // namespace

bool ends_with_unit(std::string_view text, std::string_view unit) {
    if (text.size() < unit.size())
        return false;
    const std::string_view end = text.substr(text.size() - unit.size());
    for (std::size_t i = 0; i < unit.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(end[i])) != unit[i])
            return false;
    return true;
}

double parse_number(std::string_view text) {
    text = trimmed(text);
    // from_chars takes no leading '+'; people write one.
    if (text.size() > 1 && text.front() == '+' && text[1] != '-')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        throw std::invalid_argument(fmt::format("'{}' is not a number", text));
    return value;
}

namespace {

// A retention time in seconds from a number of seconds or of minutes.
double parse_seconds(std::string_view given) {
    std::string_view text = trimmed(given);
    constexpr std::pair<std::string_view, double> UNITS[] = {{"min", 60}, {"m", 60}, {"s", 1}};
    double scale = 1;
    for (const auto& [unit, seconds] : UNITS)
        if (ends_with_unit(text, unit)) {
            text.remove_suffix(unit.size());
            scale = seconds;
            break;
        }
    try {
        return parse_number(text) * scale;
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument(fmt::format(
            "'{}' is not a time: write seconds (90 or 90s) or minutes (1.5m)", trimmed(given)));
    }
}

// "A:B", "A:" or ":B", each end read by `end`.
Interval interval_of(std::string_view text, double (*end)(std::string_view)) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || text.find(':', colon + 1) != std::string_view::npos)
        throw std::invalid_argument(
            fmt::format("'{}' is not a range: write A:B, or A: or :B for an open end", text));
    Interval interval;
    const std::string_view start = trimmed(text.substr(0, colon));
    const std::string_view stop = trimmed(text.substr(colon + 1));
    if (!start.empty())
        interval.lo = end(start);
    if (!stop.empty())
        interval.hi = end(stop);
    if (interval.lo > interval.hi)
        throw std::invalid_argument(
            fmt::format("the range {} is empty: its start is above its end", text));
    return interval;
}

} // namespace

Interval parse_interval(std::string_view text) {
    return interval_of(text, parse_number);
}

Interval parse_time_interval(std::string_view text) {
    return interval_of(text, parse_seconds);
}

WholeRanges parse_whole_ranges(std::string_view text, std::uint32_t least, std::uint32_t most) {
    WholeRanges ranges;
    if (trimmed(text).empty())
        throw std::invalid_argument("no number given");
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = trimmed(text.substr(0, comma));
        // A dash after the first character: the first may not be a sign here,
        // since whole numbers have none.
        const std::size_t dash = item.find('-', 1);
        if (dash == std::string_view::npos) {
            const std::uint32_t value = parse_whole(item, least, most);
            ranges.emplace_back(value, value);
        } else {
            const std::uint32_t first = parse_whole(item.substr(0, dash), least, most);
            const std::uint32_t last = parse_whole(item.substr(dash + 1), least, most);
            if (first > last)
                throw std::invalid_argument(
                    fmt::format("the range {} is empty: its start is above its end", item));
            ranges.emplace_back(first, last);
        }
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return ranges;
}

bool within(const WholeRanges& ranges, std::int64_t value) {
    if (ranges.empty())
        return true;
    for (const auto& [first, last] : ranges)
        if (value >= first && value <= last)
            return true;
    return false;
}

} // namespace orvohost
