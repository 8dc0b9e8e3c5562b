// A text made to fit a number of columns by cutting out its middle, as a
// file name is shortened on a terminal line or a plot's title: the start
// and the end say most about a name (its folder or stem, its run number
// and extension), so both stay and "…" takes the place of what was cut.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvohost {

// The columns `text` takes: one a character of its UTF-8, as a terminal
// shows most of the characters file names hold.
std::size_t text_columns(std::string_view text);

// `text` whole when it fits `columns`; else its first and last characters
// around "…", in exactly `columns` (the start keeps the odd one). A
// character is never split, and nothing is left when `columns` is 0.
std::string middle_ellipsis(std::string_view text, std::size_t columns);

} // namespace orvohost
