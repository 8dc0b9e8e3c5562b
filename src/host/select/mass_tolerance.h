// How far from a target m/z a peak may lie and still count, as the
// extracted-ion chromatogram takes it: "10ppm" (parts per million of the
// target), "0.01Da" or "5mmu" (thousandths of a dalton); the unit in any
// case, a blank allowed before it. A bare number is read as Da, as it
// always was, and marked so that the person can be told.
#pragma once

#include <string_view>

namespace orvohost {

struct MassTolerance {
    enum class Unit { PPM, DA, MMU };

    double value = 10;
    Unit unit = Unit::PPM;
    // Read from a bare number: the unit was taken, not written.
    bool unit_assumed = false;

    // Half the width of the window around `mz`.
    double half_width(double mz) const;
    bool matches(double target, double mz) const;
};

// "ppm", "Da" or "mmu".
const char* unit_text(MassTolerance::Unit unit);

// Raises std::invalid_argument for a text that is no positive tolerance or
// names another unit.
MassTolerance parse_mass_tolerance(std::string_view text);

} // namespace orvohost
