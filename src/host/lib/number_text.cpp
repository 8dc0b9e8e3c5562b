#include "number_text.h"

#include <fmt/format.h>

#include <cmath>
#include <iterator>
#include <limits>

namespace orvohost {

bool is_single(double value) {
    // A double beyond the float range has no float to be: converting it
    // would be undefined.
    if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max())
        return false;
    return std::isnan(value) || static_cast<double>(static_cast<float>(value)) == value;
}

void append_single(std::string& out, double value) {
    if (std::isfinite(value) && is_single(value))
        fmt::format_to(std::back_inserter(out), "{}", static_cast<float>(value));
    else
        append_number(out, value);
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
