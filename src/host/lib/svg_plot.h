// Plots as standalone SVG 1.1 documents that any browser shows without
// help: a spectrum as sticks, a chromatogram as a line. Both have a white
// background, x and y axes with ticks at 1, 2 or 5 times a power of ten and
// labels without float noise (large values as 200k, 1.5M...), the axis
// titles and a title with an optional subtitle.
#pragma once

#include <span>
#include <string>

namespace orvohost {

struct PlotText {
    std::string title;    // first line, e.g. "sample.mzXML  scan 12"
    std::string subtitle; // second line; may be empty
    std::string x_label;  // with its unit, e.g. "m/z" or "retention time (min)"
    std::string y_label;  // e.g. "intensity"
};

// Promises of both plots: the texts are escaped for XML; a point with a NaN
// or infinite coordinate is skipped; the output never holds NaN or inf; the
// y axis starts at 0 (lower only for negative values) and the x axis spans
// the points with a small margin. Without points the axes are drawn over a
// default range with a centred note. Spans of different lengths raise
// std::invalid_argument.

// One vertical stick per point from y = 0 to its value: one <line
// class="peak"> per drawn point.
std::string svg_stick_plot(std::span<const double> x, std::span<const double> y,
                           const PlotText& text);

// A polyline through the points in their order, and one small marker
// <circle class="point"> per drawn point.
std::string svg_line_plot(std::span<const double> x, std::span<const double> y,
                          const PlotText& text);

} // namespace orvohost
