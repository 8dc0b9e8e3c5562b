#include "scan_cells.h"

#include "number_text.h"

#include <host/session/record_values.h>

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string_view>
#include <type_traits>

namespace orvohost {

namespace {

template <class T>
Cell optional_cell(const std::optional<T>& value) {
    if (!value)
        return std::monostate{};
    if constexpr (std::is_same_v<T, std::string>)
        return *value;
    else if constexpr (std::is_integral_v<T>)
        return static_cast<std::int64_t>(*value);
    else
        return *value;
}

} // namespace

const std::vector<Column>& scan_columns() {
    // In a table "-" stands for a value the file does not give; a polarity
    // it does not give is "?", since "-" is a polarity there.
    static const std::vector<Column> columns{"label",
                                             "parent_label",
                                             "ms_level",
                                             {"polarity", "?"},
                                             "rt_seconds",
                                             "rt_minutes",
                                             "precursor_mz",
                                             "charge",
                                             "tic",
                                             "position",
                                             "scan_number",
                                             "peaks_count",
                                             "base_peak_mz",
                                             "base_peak_intensity",
                                             "precursor_intensity",
                                             "collision_energy",
                                             "filter_line"};
    return columns;
}

bool single_precision(const std::vector<orvoeng::Peak>& peaks) {
    // No early exit: the whole list is tested a few values at a time.
    unsigned single = 1;
    for (const auto& peak : peaks)
        single &= static_cast<unsigned>(is_single(peak.mz)) &
                  static_cast<unsigned>(is_single(peak.intensity));
    return single != 0;
}

Row scan_row(const orvoeng::ScanRecord& scan, const ScanNumbers& numbers,
             const ScanTagValues& tags) {
    const bool ms2 = scan.scan_type.ms_level >= 2;
    return Row{static_cast<std::int64_t>(scan.label),
               optional_cell(known_parent(scan)),
               static_cast<std::int64_t>(scan.scan_type.ms_level),
               optional_cell(polarity_text(scan.scan_type.polarity)),
               scan.retention_time,
               scan.retention_time / 60.0,
               ms2 ? Cell(scan.precursor_mz) : Cell(std::monostate{}),
               optional_cell(known_charge(scan)),
               optional_cell(known_tic(scan)),
               static_cast<std::int64_t>(scan.file_position),
               optional_cell(numbers.of(scan.file_position)),
               optional_cell(tags.peaks_count),
               optional_cell(tags.base_peak_mz),
               optional_cell(tags.base_peak_intensity),
               optional_cell(tags.precursor_intensity),
               optional_cell(tags.collision_energy),
               optional_cell(tags.filter_line)};
}

void append_scan_json(std::string& out, const orvoeng::ScanRecord& scan,
                      const orvoeng::Spectrum* spectrum, const ScanNumbers& numbers,
                      const ScanTagValues& tags, std::string_view file) {
    const auto number = [&out](std::string_view key, const auto& value) {
        out += key;
        if constexpr (std::is_floating_point_v<std::decay_t<decltype(value)>>)
            append_json_number(out, value);
        else
            fmt::format_to(std::back_inserter(out), "{}", value);
    };
    const auto optional = [&](std::string_view key, const auto& value) {
        if (value)
            number(key, *value);
        else
            (out += key) += "null";
    };
    out.push_back('{');
    if (!file.empty()) {
        out += "\"file\":";
        append_json_string(out, file);
        out.push_back(',');
    }
    number("\"label\":", scan.label);
    optional(",\"parent_label\":", known_parent(scan));
    number(",\"ms_level\":", scan.scan_type.ms_level);
    const auto polarity = polarity_text(scan.scan_type.polarity);
    out += polarity ? (*polarity == "+" ? ",\"polarity\":\"+\"" : ",\"polarity\":\"-\"")
                    : ",\"polarity\":null";
    number(",\"rt_seconds\":", scan.retention_time);
    optional(",\"precursor_mz\":", scan.scan_type.ms_level >= 2
                                       ? std::optional<double>(scan.precursor_mz)
                                       : std::nullopt);
    optional(",\"charge\":", known_charge(scan));
    optional(",\"tic\":", known_tic(scan));
    number(",\"position\":", scan.file_position);
    optional(",\"scan_number\":", numbers.of(scan.file_position));
    optional(",\"peaks_count\":", tags.peaks_count);
    optional(",\"base_peak_mz\":", tags.base_peak_mz);
    optional(",\"base_peak_intensity\":", tags.base_peak_intensity);
    optional(",\"precursor_intensity\":", tags.precursor_intensity);
    optional(",\"collision_energy\":", tags.collision_energy);
    out += ",\"filter_line\":";
    if (tags.filter_line)
        append_json_string(out, *tags.filter_line);
    else
        out += "null";
    if (spectrum) {
        const auto& peaks = *spectrum->peaks;
        const bool single = single_precision(peaks);
        out += spectrum->peak_kind == 0 ? ",\"kind\":\"centroided\"" : ",\"kind\":\"profile\"";
        number(",\"peak_count\":", peaks.size());
        out += ",\"mz\":[";
        {
            NumberWriter values(out, peaks.size(), peaks.size());
            values.json_values(peaks.data(), peaks.size(), &orvoeng::Peak::mz, single);
        }
        out += "],\"intensity\":[";
        {
            NumberWriter values(out, peaks.size(), peaks.size());
            values.json_values(peaks.data(), peaks.size(), &orvoeng::Peak::intensity, single);
        }
        out.push_back(']');
    }
    out += "}\n";
}

} // namespace orvohost
