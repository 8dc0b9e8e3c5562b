// How far from a target m/z a peak may lie and still count: "10ppm" (parts
// per million of the target) or "0.01" (m/z units), as the extracted-ion
// chromatogram takes it.
#pragma once

#include <string_view>

namespace orvohost {

struct MassTolerance {
    double value = 10;
    bool ppm = true;

    // Half the width of the window around `mz`.
    double half_width(double mz) const;
    bool matches(double target, double mz) const;
};

// Raises std::invalid_argument for a text that is no positive tolerance.
MassTolerance parse_mass_tolerance(std::string_view text);

} // namespace orvohost
