#include "mass_tolerance.h"

#include "range_text.h"

#include <fmt/format.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>

namespace orvohost {

double MassTolerance::half_width(double mz) const {
    switch (unit) {
    case Unit::PPM:
        return std::fabs(mz) * value * 1e-6;
    case Unit::MMU:
        return value * 1e-3;
    case Unit::DA:
        break;
    }
    return value;
}

bool MassTolerance::matches(double target, double mz) const {
    return std::fabs(mz - target) <= half_width(target);
}

const char* unit_text(MassTolerance::Unit unit) {
    switch (unit) {
    case MassTolerance::Unit::PPM:
        return "ppm";
    case MassTolerance::Unit::MMU:
        return "mmu";
    case MassTolerance::Unit::DA:
        break;
    }
    return "Da";
}

MassTolerance parse_mass_tolerance(std::string_view text) {
    MassTolerance tolerance;
    std::string_view number = text;
    tolerance.unit_assumed = true;
    tolerance.unit = MassTolerance::Unit::DA;
    constexpr std::pair<std::string_view, MassTolerance::Unit> UNITS[] = {
        {"ppm", MassTolerance::Unit::PPM},
        {"mmu", MassTolerance::Unit::MMU},
        {"da", MassTolerance::Unit::DA},
    };
    for (const auto& [suffix, unit] : UNITS)
        if (ends_with_unit(text, suffix)) {
            number = text.substr(0, text.size() - suffix.size());
            tolerance.unit = unit;
            tolerance.unit_assumed = false;
            break;
        }
    const auto refuse = [text] {
        return std::invalid_argument(
            fmt::format("'{}' is not a tolerance above 0: write 10ppm, 0.01Da or 5mmu", text));
    };
    try {
        tolerance.value = parse_number(number);
    } catch (const std::invalid_argument&) {
        throw refuse();
    }
    if (!(tolerance.value > 0))
        throw refuse();
    return tolerance;
}

} // namespace orvohost
