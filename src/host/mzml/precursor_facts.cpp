#include "precursor_facts.h"

#include <host/session/record_values.h>

#include <cmath>
#include <cstdlib>
#include <string_view>

namespace orvohost::mzml {

namespace {

std::optional<double> positive(const std::optional<double>& value) {
    if (value && *value > 0.0 && std::isfinite(*value))
        return value;
    return std::nullopt;
}

std::optional<double> finite(const std::optional<double>& value) {
    if (value && std::isfinite(*value))
        return value;
    return std::nullopt;
}

// The charges the plug-in takes for an MS2 scan, held to the same rule.
constexpr std::int64_t MAX_CHARGE = 40;

} // namespace

std::vector<Cv> dissociation_terms(const std::optional<std::string>& method) {
    if (!method)
        return {Cv::CID};
    const std::string_view name = *method;
    if (name == "CID")
        return {Cv::CID};
    if (name == "HCD")
        return {Cv::BEAM_TYPE_CID};
    if (name == "ETD")
        return {Cv::ETD};
    // Electron transfer with supplemental collisional activation.
    if (name == "ETD+SA")
        return {Cv::ETD, Cv::CID};
    if (name == "ECD")
        return {Cv::ECD};
    return {};
}

PrecursorFacts precursor_facts(const orvoeng::ScanRecord& scan, const ScanTagValues& tags) {
    PrecursorFacts facts;
    if (scan.scan_type.ms_level == 2) {
        facts.mz = positive(scan.precursor_mz);
        facts.charge = known_charge(scan);
    } else {
        facts.mz = positive(tags.precursor_mz);
        if (const auto charge = tags.precursor_charge;
            charge && *charge != 0 && std::llabs(*charge) <= MAX_CHARGE)
            facts.charge = static_cast<std::int32_t>(*charge);
    }
    facts.intensity = positive(tags.precursor_intensity);
    // A charge or an intensity without its ion has no place to stand.
    if (!facts.mz) {
        facts.charge.reset();
        facts.intensity.reset();
    }
    facts.collision_energy = finite(tags.collision_energy);
    facts.dissociation = dissociation_terms(tags.activation_method);
    return facts;
}

} // namespace orvohost::mzml
