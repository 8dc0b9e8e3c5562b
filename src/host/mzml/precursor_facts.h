// What a spectrum's precursor element states: the selected ion's m/z,
// charge and intensity, and how the ions were activated. The plug-in's
// record gives an MS2 scan's m/z and charge but nothing of a deeper scan;
// the scan's tags give the rest.
#pragma once

#include "cv_terms.h"

#include <host/session/scan_tags.h>

#include <ds/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvohost::mzml {

struct PrecursorFacts {
    std::optional<double> mz;
    std::optional<std::int32_t> charge;
    std::optional<double> intensity; // 0 taken as none, as in MGF
    std::optional<double> collision_energy;
    // Empty when the file names a method no term stands for.
    std::vector<Cv> dissociation;
};

// The facts of a scan of MS level 2 or more.
PrecursorFacts precursor_facts(const orvoeng::ScanRecord& scan, const ScanTagValues& tags);

// The terms of an mzXML activationMethod; unset, collision-induced
// dissociation, which is what converters write when the file names none.
std::vector<Cv> dissociation_terms(const std::optional<std::string>& method);

} // namespace orvohost::mzml
