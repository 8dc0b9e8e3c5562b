// The values the reader gives for a scan, shared by its exact and its
// one-pass ways of reading them and by the look-ahead that reads them early.
#pragma once

#include <pal/memory.h>

#include <cstdint>
#include <vector>

namespace orvoeng {

// The scan index: each listed scan's byte offset, in file order. Eight bytes
// a scan, megabytes for a large file, written whole as the index is read.
using ScanOffsets = std::vector<std::int64_t, PAL::LargePageAllocator<std::int64_t>>;

// Header values of one scan.
struct ScanHeader {
    std::int32_t msLevel = 0;
    std::int32_t polarity = -1; // 0 "+", 1 "-"; 0 when the scan gives none
    double retentionTime = 0.0; // seconds
    double precursorMz = 0.0;
    std::int32_t precursorCharge = 0;
    double totalIonCurrent = 0.0;
    bool centroided = false;
};

} // namespace orvoeng
