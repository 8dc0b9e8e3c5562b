#include "text_fit.h"

#include "label_placement.h"

#include <host/base/middle_ellipsis.h>

#include <cmath>

namespace orvohost {

namespace {

constexpr double BOLD = 1.1;
constexpr std::size_t SHORTEST_NAME = 5;

// The characters that fit `width`, by the inverse of text_width.
std::size_t columns_in(double width, double size, bool bold) {
    const double character = text_width("x", size * (bold ? BOLD : 1)) - text_width("", size);
    const double room = std::floor((width - text_width("", size)) / character);
    return room > 0 ? static_cast<std::size_t>(room) : 0;
}

} // namespace

std::string fitted_text(std::string_view text, double size, double width, bool bold) {
    return middle_ellipsis(text, columns_in(width, size, bold));
}

std::string fitted_title(std::string_view title, double size, double width, bool bold) {
    const std::size_t columns = columns_in(width, size, bold);
    const std::size_t split = title.find("  ");
    if (text_columns(title) <= columns || split == std::string_view::npos)
        return middle_ellipsis(title, columns);
    const std::string_view what = title.substr(split);
    const std::size_t what_columns = text_columns(what);
    if (what_columns + SHORTEST_NAME > columns)
        return middle_ellipsis(title, columns);
    return middle_ellipsis(title.substr(0, split), columns - what_columns) + std::string(what);
}

} // namespace orvohost
