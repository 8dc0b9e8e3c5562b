#include "mass_tolerance.h"

#include "range_text.h"

#include <fmt/format.h>

#include <cmath>
#include <stdexcept>

namespace orvohost {

double MassTolerance::half_width(double mz) const {
    return ppm ? std::fabs(mz) * value * 1e-6 : value;
}

bool MassTolerance::matches(double target, double mz) const {
    return std::fabs(mz - target) <= half_width(target);
}

MassTolerance parse_mass_tolerance(std::string_view text) {
    MassTolerance tolerance;
    tolerance.ppm = text.size() > 3 && text.substr(text.size() - 3) == "ppm";
    if (tolerance.ppm)
        text.remove_suffix(3);
    const std::string_view number = text;
    try {
        tolerance.value = parse_number(number);
    } catch (const std::invalid_argument&) {
        tolerance.value = 0;
    }
    if (!(tolerance.value > 0))
        throw std::invalid_argument(
            fmt::format("'{}{}' is not a tolerance above 0: write 10ppm or 0.01 (m/z)", number,
                        tolerance.ppm ? "ppm" : ""));
    return tolerance;
}

} // namespace orvohost
