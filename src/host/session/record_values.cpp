#include "record_values.h"

#include <fmt/chrono.h>
#include <fmt/format.h>

#include <chrono>
#include <cmath>
#include <cstdlib>

namespace orvohost {

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

std::string peak_kind_text(const orvoeng::Spectrum& spectrum) {
    return spectrum.peak_kind == 0 ? "centroided" : "profile";
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
