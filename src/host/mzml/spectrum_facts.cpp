#include "spectrum_facts.h"

#include <host/output/scan_cells.h>
#include <host/session/record_values.h>

namespace orvohost::mzml {

SpectrumFacts spectrum_facts(const orvoeng::ScanRecord& scan,
                             const std::vector<orvoeng::Peak>& peaks, bool filtered) {
    SpectrumFacts facts;
    facts.single = single_precision(peaks);
    double sum = 0.0;
    if (!peaks.empty()) {
        facts.base_peak = peaks.front();
        facts.lowest_mz = peaks.front().mz;
        facts.highest_mz = peaks.front().mz;
    }
    for (const auto& peak : peaks) {
        sum += peak.intensity;
        // A file's peaks are in m/z order, but nothing guarantees it.
        facts.lowest_mz = peak.mz < facts.lowest_mz ? peak.mz : facts.lowest_mz;
        facts.highest_mz = peak.mz > facts.highest_mz ? peak.mz : facts.highest_mz;
        if (peak.intensity > facts.base_peak->intensity ||
            (peak.intensity == facts.base_peak->intensity && peak.mz < facts.base_peak->mz))
            facts.base_peak = peak;
    }
    const auto given = known_tic(scan);
    facts.tic = given && !filtered ? *given : sum;
    return facts;
}

} // namespace orvohost::mzml
