#include "records.h"

#include "number_text.h"

#include <fmt/chrono.h>
#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <string_view>
#include <type_traits>

namespace orvohost {

namespace {

template <class T>
Cell optional_cell(const std::optional<T>& value) {
    if (!value)
        return std::monostate{};
    if constexpr (std::is_integral_v<T>)
        return static_cast<std::int64_t>(*value);
    else
        return *value;
}

} // namespace

const std::vector<Column>& scan_columns() {
    // In a table "-" stands for a value the file does not give; a polarity
    // it does not give is "?", since "-" is a polarity there.
    static const std::vector<Column> columns{
        "label",        "parent_label", "ms_level", {"polarity", "?"}, "rt_seconds", "rt_minutes",
        "precursor_mz", "charge",       "tic",      "position"};
    return columns;
}

std::optional<std::string> polarity_text(std::int32_t polarity) {
    if (polarity == 0)
        return "+";
    if (polarity == 1)
        return "-";
    return std::nullopt;
}

std::optional<std::int32_t> known_charge(const orvoeng::ScanRecord& scan) {
    if (scan.precursor_charge == orvoeng::NO_CHARGE)
        return std::nullopt;
    return scan.precursor_charge;
}

std::optional<std::int32_t> signed_charge(const orvoeng::ScanRecord& scan) {
    const auto charge = known_charge(scan);
    if (charge && scan.scan_type.polarity == 1)
        return -std::abs(*charge);
    if (charge && scan.scan_type.polarity == 0)
        return std::abs(*charge);
    return charge;
}

std::optional<double> known_tic(const orvoeng::ScanRecord& scan) {
    if (scan.total_ion_current == 0.0 || !std::isfinite(scan.total_ion_current))
        return std::nullopt;
    return scan.total_ion_current;
}

std::optional<std::uint32_t> known_parent(const orvoeng::ScanRecord& scan) {
    if (scan.parent_label == orvoeng::NO_LABEL)
        return std::nullopt;
    return scan.parent_label;
}

const char* info_key_name(std::int32_t key) {
    switch (key) {
    case orvoeng::FileName:
        return "file_name";
    case orvoeng::Operator:
        return "operator";
    case orvoeng::Instrument:
        return "instrument";
    case orvoeng::MassAnalyzer:
        return "mass_analyzer";
    case orvoeng::Detail:
        return "detail";
    default:
        return "other";
    }
}

bool single_precision(const std::vector<orvoeng::Peak>& peaks) {
    // No early exit: the whole list is tested a few values at a time.
    unsigned single = 1;
    for (const auto& peak : peaks)
        single &= static_cast<unsigned>(is_single(peak.mz)) &
                  static_cast<unsigned>(is_single(peak.intensity));
    return single != 0;
}

std::string peak_kind_text(const orvoeng::Spectrum& spectrum) {
    return spectrum.peak_kind == 0 ? "centroided" : "profile";
}

Row scan_row(const orvoeng::ScanRecord& scan) {
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
               static_cast<std::int64_t>(scan.file_position)};
}

void append_scan_json(std::string& out, const orvoeng::ScanRecord& scan,
                      const orvoeng::Spectrum* spectrum) {
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
    number("{\"label\":", scan.label);
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

std::string scan_mix_text(std::int32_t mix) {
    switch (mix) {
    case 0:
        return "one MS1 scan";
    case 1:
        return "MS1 scans only";
    case 2:
        return "one MS2 scan";
    case 3:
        return "MS2 scans only";
    case 5:
        return "MS1 and MS2 scans";
    default:
        return "no MS1 or MS2 scans";
    }
}

std::string iso8601_utc(std::int64_t seconds) {
    const std::chrono::sys_seconds when{std::chrono::seconds(seconds)};
    return fmt::format("{:%Y-%m-%dT%H:%M:%S}Z", when);
}

} // namespace orvohost
