// A scan's record as its header gives it: all the list says of the scan
// but its label and its place among the others, which the walk over the
// scans gives. One way to make it, whether the open read the header or the
// walk does.
#pragma once

#include "reader_types.h"

#include <ds/types.h>

namespace orvoeng {

// Whether the header's MS level is one a record can carry.
bool level_fits(const ScanHeader& header);

// The record of the scan: its level, polarity, times, current and, for an
// MS2 scan, its precursor. Raises the level's assertion when it does not fit.
ScanRecord record_of(const ScanHeader& header);

} // namespace orvoeng
