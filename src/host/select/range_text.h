// Ranges as people type them after a filter option: "10-20,25" for sets of
// whole numbers (scan labels, MS levels, charges) and "A:B" for a stretch of
// real numbers (retention time, m/z) of which either end may be left open;
// a time may say its unit.
// Whatever cannot be read raises std::invalid_argument with a sentence that
// says what is wrong with the text, so that a typo never filters silently.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

namespace orvohost {

// A closed interval; an end left open is infinite.
struct Interval {
    double lo = -std::numeric_limits<double>::infinity();
    double hi = std::numeric_limits<double>::infinity();

    bool contains(double value) const { return value >= lo && value <= hi; }
    bool whole() const {
        return lo == -std::numeric_limits<double>::infinity() &&
               hi == std::numeric_limits<double>::infinity();
    }
};

// Inclusive ranges of whole numbers; empty selects every number.
using WholeRanges = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

// Whether `text` ends with `unit`, given in lower case, in any case: the
// unit after a number ("10PPM", "5m").
bool ends_with_unit(std::string_view text, std::string_view unit);

// A finite decimal number, the whole text.
double parse_number(std::string_view text);

// "A:B", "A:" or ":B"; A may equal B, but may not exceed it.
Interval parse_interval(std::string_view text);

// A retention-time range in seconds, written as parse_interval reads it,
// each end in seconds (a bare number or "90s") or in minutes ("105m",
// "105min"), the unit in any case: minutes are what a chromatogram's axis
// shows, seconds what the file holds.
Interval parse_time_interval(std::string_view text);

// Comma-separated numbers and N-M ranges, each within [least, most].
WholeRanges parse_whole_ranges(std::string_view text, std::uint32_t least, std::uint32_t most);

bool within(const WholeRanges& ranges, std::int64_t value);

} // namespace orvohost
