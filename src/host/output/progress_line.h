// The progress bar's line, made to fit the terminal: a line wider than the
// terminal wraps, and the redraw, which returns to the start of the last
// row only, leaves the rows above it behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvohost {

// "[#####     ]  42% 3.1 MB/s, 0:12 left run.mzXML" in fewer than `columns`
// columns (the last one is left free, where some terminals wrap at once).
// `percentage` above 100 draws "working" in the bar and "?%". Where the
// whole line does not fit, what gives way first is the label, shortened in
// the middle down to 16 columns, then the bar down to 10 columns, then the
// rate; what is left of the width after them is the label's. On a terminal
// too narrow even for that, the line is cut.
std::string progress_line(std::uint16_t percentage, std::string_view rate, std::string_view label,
                          std::size_t columns);

} // namespace orvohost
