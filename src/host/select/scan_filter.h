// Which scans a command goes through, judged from the listing alone, so that
// a spectrum a filter leaves out is never fetched.
#pragma once

#include "range_text.h"

#include <ds/types.h>

namespace orvohost {

struct ScanFilter {
    WholeRanges ms_levels; // empty: every level
    WholeRanges labels;    // empty: every label
    WholeRanges charges;   // of the precursor, without its sign; empty: any, or none
    Interval rt;           // retention time in seconds

    // A scan whose file gives no charge passes only a filter without charges.
    bool selects(const orvoeng::ScanRecord& scan) const;
    bool any() const {
        return !ms_levels.empty() || !labels.empty() || !charges.empty() || !rt.whole();
    }
};

} // namespace orvohost
