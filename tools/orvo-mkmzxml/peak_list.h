// Synthetic peak lists and the summary values a scan's start tag states.
#pragma once

#include "random.h"

#include <cstdint>
#include <vector>

namespace mkmzxml {

struct PeakList {
    std::vector<double> mz;        // strictly ascending
    std::vector<double> intensity; // positive
    double low_mz = 0;
    double high_mz = 0;
    double base_peak_mz = 0;
    double base_peak_intensity = 0;
    double tot_ion_current = 0;
};

// Replaces `peaks` with `count` (at least 1) peaks in [low, high), each
// intensity below `scale`. With `single` the values are rounded to 32-bit
// floats first, so the summary agrees with what is encoded. Reuses the
// lists' storage.
void make_peaks(Random& random, std::uint32_t count, double low, double high, double scale,
                bool single, PeakList& peaks);

struct Precursor {
    double mz;
    double intensity;
    int charge; // 0: not stated
};

// An ion of `survey` chosen the way a data-dependent acquisition would:
// among a few random candidates in the usual precursor range, the most
// intense one.
Precursor pick_precursor(Random& random, const PeakList& survey);

} // namespace mkmzxml
