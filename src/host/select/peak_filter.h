// Which peaks of a spectrum a command keeps: an m/z window, an intensity
// floor and the N most intense, applied in that order. What is kept stays
// in the spectrum's own (m/z) order.
#pragma once

#include "range_text.h"

#include <ds/data_source_intf.h>

#include <cstddef>
#include <optional>
#include <vector>

namespace orvohost {

struct PeakFilter {
    Interval mz;
    std::optional<double> min_intensity;
    std::size_t top = 0; // 0: no limit

    bool any() const { return !mz.whole() || min_intensity || top > 0; }
    bool keeps(const orvoeng::Peak& peak) const {
        return mz.contains(peak.mz) && (!min_intensity || peak.intensity >= *min_intensity);
    }
    // Of equal intensities at the cut of `top`, the lower m/z is kept, so the
    // result never depends on the sort's whim.
    std::vector<orvoeng::Peak> apply(const std::vector<orvoeng::Peak>& peaks) const;
    // Replaces the spectrum's peaks by those kept; no copy without a filter.
    void apply_to(orvoeng::Spectrum& spectrum) const;
};

} // namespace orvohost
