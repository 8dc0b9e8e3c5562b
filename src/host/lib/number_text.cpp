#include "number_text.h"

#include <fmt/format.h>

#include <cmath>
#include <iterator>
#include <limits>

namespace orvohost {

void append_peak_value(std::string& out, double value) {
    // A double beyond the float range has no float to be: converting it
    // would be undefined.
    if (std::isfinite(value) && std::fabs(value) <= std::numeric_limits<float>::max()) {
        const auto narrow = static_cast<float>(value);
        if (static_cast<double>(narrow) == value) {
            fmt::format_to(std::back_inserter(out), "{}", narrow);
            return;
        }
    }
    fmt::format_to(std::back_inserter(out), "{}", value);
}

void append_number(std::string& out, double value) {
    fmt::format_to(std::back_inserter(out), "{}", value);
}

std::string number_text(double value) {
    std::string text;
    append_number(text, value);
    return text;
}

} // namespace orvohost
