// Plots as standalone SVG 1.1 documents that any browser shows without
// help: a centroided spectrum as sticks, a profile spectrum as one path
// through its points, a chromatogram as a line with a marker a point. All
// have a white background, x and y axes with ticks at 1, 2 or 5 times a
// power of ten and labels without float noise (large values as 200k,
// 1.5M...), the axis titles and a title with an optional subtitle.
#pragma once

#include <host/select/range_text.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvohost {

// Each text is drawn whole where it fits the page, else shortened in the
// middle (the title's file name first, before its two blanks).
struct PlotText {
    std::string title;    // first line, e.g. "sample.mzXML  scan 12"
    std::string subtitle; // second line; may be empty
    std::string x_label;  // with its unit, e.g. "m/z" or "retention time (min)"
    std::string y_label;  // e.g. "intensity"
};

enum class Trace {
    STICKS,       // one <line class="peak"> a point, from y = 0 to its value
    PROFILE,      // one <path class="profile"> through the points in their order
    CHROMATOGRAM, // a <polyline class="trace">, and a <circle class="point"> a
                  // point when there are at most MOST_MARKERS of them
};

constexpr std::size_t MOST_MARKERS = 2000;

// A dashed vertical line across the plot at x (a precursor m/z), with its
// text at the top when there is room for it.
struct PlotMark {
    double x;
    std::string text;
};

struct PlotSpec {
    Trace trace = Trace::STICKS;
    PlotText text;
    int width = 960; // page size in SVG units, at least 320 by 240
    int height = 540;
    // Only points with x in the range are drawn, and the x axis spans it
    // exactly; an open end follows the points.
    Interval x_range;
    std::vector<PlotMark> marks;
    // The `labels` highest peaks (for a profile, the highest apexes)
    // carry their x with `decimals` decimals, as far as they fit: labels
    // never overlap each other or the marks' texts; one that would is moved
    // aside or up (with a leader line to its peak) as far as three lines,
    // else left out.
    std::size_t labels = 0;
    int decimals = 2;
};

// Promises: the texts are escaped for XML; a point with a NaN or infinite
// coordinate is skipped; the output never holds NaN or inf; the y axis
// starts at 0 (lower only for negative values). Without points the axes are
// drawn over a default range with a centred note. Spans of different
// lengths raise std::invalid_argument.
std::string svg_plot(std::span<const double> x, std::span<const double> y, const PlotSpec& spec);

// The plot of `spec` defaults with these points as sticks, or as a chromatogram.
std::string svg_stick_plot(std::span<const double> x, std::span<const double> y,
                           const PlotText& text);
std::string svg_line_plot(std::span<const double> x, std::span<const double> y,
                          const PlotText& text);

} // namespace orvohost
