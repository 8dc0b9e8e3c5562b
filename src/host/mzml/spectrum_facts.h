// What a spectrum's header states beyond the scan record: its total ion
// current, base peak and m/z range, worked out from the peaks written.
#pragma once

#include <ds/data_source_intf.h>
#include <ds/types.h>

#include <optional>
#include <vector>

namespace orvohost::mzml {

struct SpectrumFacts {
    // The file's totIonCurrent while every peak is written and the file
    // gives one; else the sum of the intensities written.
    double tic = 0.0;
    // The most intense peak (the lowest m/z of equals); none without peaks.
    std::optional<orvoeng::Peak> base_peak;
    double lowest_mz = 0.0;
    double highest_mz = 0.0;
    // Every value exactly a 32-bit float: written as floats.
    bool single = true;
};

// `filtered`: a peak filter may have left peaks out, so the file's total
// ion current no longer describes the peaks written.
SpectrumFacts spectrum_facts(const orvoeng::ScanRecord& scan,
                             const std::vector<orvoeng::Peak>& peaks, bool filtered);

} // namespace orvohost::mzml
