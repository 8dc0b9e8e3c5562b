#include "svg_plot.h"

#include "label_placement.h"
#include "text_fit.h"

#include <host/markup/xml_text.h>

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

namespace orvohost {

namespace {

// The page and the plotting area inside it, in SVG user units: room above
// for two title lines, below for tick labels and the x title, on the left
// for labels such as "1.25M" and the rotated y title.
struct Page {
    double width;
    double height;
    double left;
    double right;
    double top;
    double bottom;
};

Page page_of(const PlotSpec& spec) {
    const double width = std::clamp(spec.width, 320, 20000);
    const double height = std::clamp(spec.height, 240, 20000);
    return {width, height, 90, width - 30, 70, height - 70};
}

// Between a centred text and the page's edge.
constexpr double MARGIN = 10;
constexpr const char* INK = "#1f4e9c";
constexpr const char* MARK_INK = "#c0392b";
constexpr double LABEL_SIZE = 10;
constexpr double MARK_LABEL_SIZE = 11;

// Ranges narrower than this are treated as a single value: below it powers
// of ten for the ticks would underflow.
constexpr double TINY = 1e-200;
// Tolerance, in steps, for a tick that floating point puts just outside.
constexpr double SLACK = 1e-9;
constexpr int MOST_TICKS = 50;

struct Point {
    double x;
    double y;
};

std::vector<Point> finite_points(std::span<const double> x, std::span<const double> y) {
    if (x.size() != y.size())
        throw std::invalid_argument(
            fmt::format("plot: {} x values but {} y values", x.size(), y.size()));
    std::vector<Point> points;
    points.reserve(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        if (std::isfinite(x[i]) && std::isfinite(y[i]))
            points.push_back({x[i], y[i]});
    return points;
}

// A coordinate with two decimals; whatever arithmetic did to extreme
// inputs, the document gets a finite number on the page.
std::string coord(double value) {
    if (!std::isfinite(value))
        value = 0;
    return fmt::format("{:.2f}", std::clamp(value, -1e5, 1e5));
}

double finite(double value) {
    const double most = std::numeric_limits<double>::max();
    return std::clamp(value, -most, most);
}

struct Axis {
    double lo = 0;
    double hi = 1;
    std::vector<double> ticks;
    int exponent = 0; // the tick step is 1, 2 or 5 times 10 to this power
};

int ticks_within(double lo, double hi, double step) {
    // NaN when the step is too fine to count in at this distance from 0.
    const double count = std::floor(hi / step + SLACK) - std::ceil(lo / step - SLACK) + 1;
    return count > 0 ? static_cast<int>(std::min(count, 1e6)) : 0;
}

struct Step {
    double size = 0;
    int exponent = 0;
};

// Nice numbers: of the steps 1, 2 and 5 times a power of ten, the one
// giving the tick count nearest 7 within 5 to 10 (nearest to that band
// when none is in it), the larger step on a tie.

Step nice_step(double lo, double hi) {
    const int top = static_cast<int>(std::floor(std::log10(hi - lo)));
    Step best;
    int best_score = std::numeric_limits<int>::max();
    for (int exponent = top - 2; exponent <= top + 1; ++exponent)
        for (const int mantissa : {1, 2, 5}) {
            const double size = mantissa * std::pow(10.0, exponent);
            if (!(size > 0) || !std::isfinite(size))
                continue;
            const int count = ticks_within(lo, hi, size);
            const int score = count < 5    ? 100 + 5 - count
                              : count > 10 ? 100 + count - 10
                                           : std::abs(count - 7);
            if (score <= best_score) {
                best = {size, exponent};
                best_score = score;
            }
        }
    return best;
}

// Ticks over [lo, hi]; with `extend` the range grows to the nearest ticks
// outside it, so that the top of the y axis is a labelled value.
Axis make_axis(double lo, double hi, bool extend) {
    Axis axis{lo, hi, {}, 0};
    const Step step = std::isfinite(hi - lo) ? nice_step(lo, hi) : Step{};
    if (step.size == 0) {
        // Only for ranges near the limits of double: label the two ends.
        axis.ticks = {lo, hi};
        axis.exponent =
            static_cast<int>(std::floor(std::log10(std::max(std::fabs(lo), std::fabs(hi)))));
        return axis;
    }
    axis.exponent = step.exponent;
    if (extend) {
        axis.lo = finite(std::floor(lo / step.size + SLACK) * step.size);
        axis.hi = finite(std::ceil(hi / step.size - SLACK) * step.size);
    }
    const double first = std::ceil(axis.lo / step.size - SLACK);
    const int count = std::min(ticks_within(axis.lo, axis.hi, step.size), MOST_TICKS);
    for (int k = 0; k < count; ++k)
        axis.ticks.push_back((first + k) * step.size);
    return axis;
}

Axis x_axis(const std::vector<Point>& points) {
    if (points.empty())
        return make_axis(0, 1, false);
    const auto [low, high] = std::minmax_element(
        points.begin(), points.end(), [](const Point& a, const Point& b) { return a.x < b.x; });
    double lo = low->x;
    double hi = high->x;
    // A margin so that the outermost marks stand clear of the frame.
    const double margin = hi - lo > TINY         ? 0.06 * (hi / 2 - lo / 2)
                          : std::fabs(lo) > TINY ? 0.02 * std::fabs(lo)
                                                 : 1;
    return make_axis(finite(lo - margin), finite(hi + margin), false);
}

Axis y_axis(const std::vector<Point>& points) {
    double lo = 0;
    double hi = 0;
    for (const Point& point : points) {
        lo = std::min(lo, point.y);
        hi = std::max(hi, point.y);
    }
    if (hi / 2 - lo / 2 <= TINY)
        hi = 1;
    return make_axis(lo, hi, true);
}

// Where `value` falls on the axis, from 0 at lo to 1 at hi; halving first
// keeps the difference finite even for the extremes of double.
double fraction(const Axis& axis, double value) {
    const double span = axis.hi / 2 - axis.lo / 2;
    return span > 0 ? (value / 2 - axis.lo / 2) / span : 0.5;
}

double page_x(const Page& page, const Axis& axis, double value) {
    return page.left + fraction(axis, value) * (page.right - page.left);
}

double page_y(const Page& page, const Axis& axis, double value) {
    return page.bottom - fraction(axis, value) * (page.bottom - page.top);
}

std::string without_trailing_zeros(std::string text) {
    if (text.find('.') == std::string::npos)
        return text;
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return text;
}

// Decimals follow the step, so 0.1 + 0.2 prints as 0.30 on an axis that
// steps by 0.05. Large values get an SI suffix (250k, 1.5M), tiny or
// enormous steps a power of ten, the choice made once for the whole axis
// so that its labels read alike.
std::string tick_label(double value, const Axis& axis) {
    double largest = 0;
    for (const double tick : axis.ticks)
        largest = std::max(largest, std::fabs(tick));
    if (value == 0)
        return "0";
    if (axis.exponent < -5 || largest >= 1e21) {
        const int digits = static_cast<int>(std::floor(std::log10(largest))) - axis.exponent;
        return fmt::format("{:.{}e}", value, std::clamp(digits, 0, 16));
    }
    if (largest < 1e5 || std::fabs(value) < 1000)
        return fmt::format("{:.{}f}", value, std::max(0, -axis.exponent));
    static constexpr const char* SUFFIXES[] = {"", "k", "M", "G", "T", "P", "E"};
    int group = 1;
    while (group < 6 && std::fabs(value) >= std::pow(1000.0, group + 1) * (1 - SLACK))
        ++group;
    const double scaled = value / std::pow(1000.0, group);
    return without_trailing_zeros(
               fmt::format("{:.{}f}", scaled, std::max(0, 3 * group - axis.exponent))) +
           SUFFIXES[group];
}

template <typename... Args>
void put(std::string& out, fmt::format_string<Args...> format, Args&&... args) {
    fmt::format_to(std::back_inserter(out), format, std::forward<Args>(args)...);
}

// Everything but the data: page, grid, axes with ticks and labels, titles,
// and the note when there is nothing to draw.
void frame(std::string& out, const Page& page, const Axis& x, const Axis& y, const PlotText& text,
           bool empty, std::string_view note) {
    put(out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    put(out,
        "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"{0}\" height=\"{1}\" "
        "viewBox=\"0 0 {0} {1}\" font-family=\"Helvetica, Arial, sans-serif\" font-size=\"12\">\n",
        page.width, page.height);
    put(out, "<title>{}</title>\n", xml_escaped(text.title));
    put(out, "<rect width=\"{}\" height=\"{}\" fill=\"white\"/>\n", page.width, page.height);

    put(out, "<g class=\"grid\" stroke=\"#e4e4e4\" stroke-width=\"1\">\n");
    for (const double tick : y.ticks)
        put(out, "<line x1=\"{0}\" y1=\"{2}\" x2=\"{1}\" y2=\"{2}\"/>\n", coord(page.left),
            coord(page.right), coord(page_y(page, y, tick)));
    put(out, "</g>\n");

    put(out, "<g class=\"axes\" stroke=\"black\" stroke-width=\"1\">\n");
    put(out, "<line class=\"x-axis\" x1=\"{0}\" y1=\"{2}\" x2=\"{1}\" y2=\"{2}\"/>\n",
        coord(page.left), coord(page.right), coord(page.bottom));
    put(out, "<line class=\"y-axis\" x1=\"{0}\" y1=\"{1}\" x2=\"{0}\" y2=\"{2}\"/>\n",
        coord(page.left), coord(page.top), coord(page.bottom));
    if (y.lo < 0)
        put(out, "<line class=\"baseline\" x1=\"{0}\" y1=\"{2}\" x2=\"{1}\" y2=\"{2}\"/>\n",
            coord(page.left), coord(page.right), coord(page_y(page, y, 0)));
    for (const double tick : x.ticks)
        put(out, "<line class=\"tick\" x1=\"{0}\" y1=\"{1}\" x2=\"{0}\" y2=\"{2}\"/>\n",
            coord(page_x(page, x, tick)), coord(page.bottom), coord(page.bottom + 5));
    for (const double tick : y.ticks)
        put(out, "<line class=\"tick\" x1=\"{0}\" y1=\"{2}\" x2=\"{1}\" y2=\"{2}\"/>\n",
            coord(page.left - 5), coord(page.left), coord(page_y(page, y, tick)));
    put(out, "</g>\n");

    put(out, "<g class=\"x-ticks\" text-anchor=\"middle\">\n");
    for (const double tick : x.ticks)
        put(out, "<text class=\"tick-label\" x=\"{}\" y=\"{}\">{}</text>\n",
            coord(page_x(page, x, tick)), coord(page.bottom + 19), tick_label(tick, x));
    put(out, "</g>\n<g class=\"y-ticks\" text-anchor=\"end\">\n");
    for (const double tick : y.ticks)
        put(out, "<text class=\"tick-label\" x=\"{}\" y=\"{}\">{}</text>\n", coord(page.left - 8),
            coord(page_y(page, y, tick) + 4), tick_label(tick, y));
    put(out, "</g>\n");

    const double centre_x = (page.left + page.right) / 2;
    const double centre_y = (page.top + page.bottom) / 2;
    put(out,
        "<text class=\"x-label\" x=\"{}\" y=\"{}\" text-anchor=\"middle\" "
        "font-size=\"14\">{}</text>\n",
        coord(centre_x), page.height - 20,
        xml_escaped(fitted_text(text.x_label, 14, page.right - page.left)));
    put(out,
        "<text class=\"y-label\" x=\"22\" y=\"{0}\" text-anchor=\"middle\" font-size=\"14\" "
        "transform=\"rotate(-90 22 {0})\">{1}</text>\n",
        coord(centre_y), xml_escaped(fitted_text(text.y_label, 14, page.height - 2 * MARGIN)));
    put(out,
        "<text class=\"title\" xml:space=\"preserve\" x=\"{}\" y=\"28\" text-anchor=\"middle\" "
        "font-size=\"17\" font-weight=\"bold\">{}</text>\n",
        page.width / 2, xml_escaped(fitted_title(text.title, 17, page.width - 2 * MARGIN, true)));
    if (!text.subtitle.empty())
        put(out,
            "<text class=\"subtitle\" xml:space=\"preserve\" x=\"{}\" y=\"50\" "
            "text-anchor=\"middle\" font-size=\"13\" fill=\"#333\">{}</text>\n",
            page.width / 2, xml_escaped(fitted_text(text.subtitle, 13, page.width - 2 * MARGIN)));
    if (empty)
        put(out,
            "<text class=\"note\" x=\"{}\" y=\"{}\" text-anchor=\"middle\" font-size=\"16\" "
            "fill=\"#888\">{}</text>\n",
            coord(centre_x), coord(centre_y), note);
}

// A label's box with its text's baseline at `y`, centred on `x` or, with
// `start`, beginning there.
Box text_box(double x, double y, double width, double size, bool start = false) {
    const double left = start ? x : x - width / 2;
    return {left, y - size, left + width, y + 0.3 * size};
}

// The marks and their texts: a text sits at the top beside its line, on
// the first of four lines down where it is free, to the right of the line
// or else to its left.
void draw_marks(std::string& out, const Page& page, const Axis& x, const PlotSpec& spec,
                LabelPlacer& placer) {
    if (spec.marks.empty())
        return;
    put(out, "<g class=\"marks\" stroke=\"{}\" stroke-width=\"1\" stroke-dasharray=\"5 3\">\n",
        MARK_INK);
    std::string texts;
    for (const PlotMark& mark : spec.marks) {
        if (!std::isfinite(mark.x) || mark.x < x.lo || mark.x > x.hi)
            continue;
        const double at = page_x(page, x, mark.x);
        put(out, "<line class=\"mark\" x1=\"{0}\" y1=\"{1}\" x2=\"{0}\" y2=\"{2}\"/>\n", coord(at),
            coord(page.top), coord(page.bottom));
        if (mark.text.empty())
            continue;
        const double width = text_width(mark.text, MARK_LABEL_SIZE);
        std::vector<Box> places;
        for (int line = 0; line < 4; ++line) {
            const double y = page.top + (line + 1) * (MARK_LABEL_SIZE + 3);
            places.push_back(text_box(at + 3, y, width, MARK_LABEL_SIZE, true));
            places.push_back(text_box(at - 3 - width, y, width, MARK_LABEL_SIZE, true));
        }
        if (const auto taken = placer.place(places))
            put(texts, "<text class=\"mark-label\" x=\"{}\" y=\"{}\">{}</text>\n",
                coord(places[*taken].left), coord(places[*taken].bottom - 0.3 * MARK_LABEL_SIZE),
                xml_escaped(mark.text));
    }
    put(out, "</g>\n");
    if (!texts.empty())
        put(out, "<g class=\"mark-labels\" fill=\"{}\" font-size=\"{}\">\n{}</g>\n", MARK_INK,
            MARK_LABEL_SIZE, texts);
}

// Which points are peaks worth a label, highest first: every point of
// sticks; of a profile, the points highest among their PROFILE_REACH
// neighbours on either side (the first of equals), so that its flanks and
// the noise on a peak's top get no labels of their own.
constexpr std::size_t PROFILE_REACH = 5;

bool profile_apex(const std::vector<Point>& points, std::size_t i) {
    const std::size_t first = i > PROFILE_REACH ? i - PROFILE_REACH : 0;
    const std::size_t last = std::min(points.size() - 1, i + PROFILE_REACH);
    for (std::size_t j = first; j <= last; ++j)
        if (points[j].y > points[i].y || (j < i && points[j].y == points[i].y))
            return false;
    return true;
}

std::vector<std::size_t> label_candidates(const std::vector<Point>& points, Trace trace) {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < points.size(); ++i)
        if (points[i].y > 0 && (trace != Trace::PROFILE || profile_apex(points, i)))
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(),
                     [&points](std::size_t a, std::size_t b) { return points[a].y > points[b].y; });
    return order;
}

void draw_labels(std::string& out, const Page& page, const Axis& x, const Axis& y,
                 const std::vector<Point>& points, const PlotSpec& spec, LabelPlacer& placer) {
    if (spec.labels == 0 || spec.trace == Trace::CHROMATOGRAM)
        return;
    auto order = label_candidates(points, spec.trace);
    if (order.size() > spec.labels)
        order.resize(spec.labels);
    if (order.empty())
        return;
    std::string leaders;
    put(out, "<g class=\"peak-labels\" text-anchor=\"middle\" font-size=\"{}\" fill=\"#222\">\n",
        LABEL_SIZE);
    for (const std::size_t i : order) {
        const std::string text =
            fmt::format("{:.{}f}", points[i].x, std::clamp(spec.decimals, 0, 8));
        const double width = text_width(text, LABEL_SIZE);
        const double at = page_x(page, x, points[i].x);
        const double top = page_y(page, y, points[i].y) - 3;
        // Above the peak, else beside it to the left or right, a line
        // higher at a time; a label moved up gets a leader to its peak.
        std::vector<Box> places;
        for (int line = 0; line < 4; ++line) {
            const double baseline = top - line * (LABEL_SIZE + 2);
            places.push_back(text_box(at, baseline, width, LABEL_SIZE));
            places.push_back(text_box(at - width / 2, baseline, width, LABEL_SIZE));
            places.push_back(text_box(at + width / 2, baseline, width, LABEL_SIZE));
        }
        const auto taken = placer.place(places);
        if (!taken)
            continue;
        const Box& box = places[*taken];
        const double centre = (box.left + box.right) / 2;
        put(out, "<text class=\"peak-label\" x=\"{}\" y=\"{}\">{}</text>\n", coord(centre),
            coord(box.bottom - 0.3 * LABEL_SIZE), text);
        if (*taken >= 3)
            put(leaders, "<line class=\"leader\" x1=\"{}\" y1=\"{}\" x2=\"{}\" y2=\"{}\"/>\n",
                coord(at), coord(top + 2), coord(std::clamp(at, box.left, box.right)),
                coord(box.bottom));
    }
    put(out, "</g>\n");
    if (!leaders.empty())
        put(out, "<g class=\"leaders\" stroke=\"#888\" stroke-width=\"0.6\">\n{}</g>\n", leaders);
}

void draw_sticks(std::string& out, const Page& page, const Axis& x, const Axis& y,
                 const std::vector<Point>& points) {
    const std::string base = coord(page_y(page, y, 0));
    put(out, "<g class=\"sticks\" stroke=\"{}\" stroke-width=\"1\">\n", INK);
    for (const Point& point : points) {
        const std::string at = coord(page_x(page, x, point.x));
        put(out, "<line class=\"peak\" x1=\"{0}\" y1=\"{1}\" x2=\"{0}\" y2=\"{2}\"/>\n", at, base,
            coord(page_y(page, y, point.y)));
    }
    put(out, "</g>\n");
}

void draw_profile(std::string& out, const Page& page, const Axis& x, const Axis& y,
                  const std::vector<Point>& points) {
    if (points.empty())
        return;
    put(out,
        "<path class=\"profile\" fill=\"none\" stroke=\"{}\" stroke-width=\"1\" "
        "stroke-linejoin=\"round\" d=\"",
        INK);
    for (std::size_t i = 0; i < points.size(); ++i)
        put(out, "{}{},{}", i == 0 ? "M" : " L", coord(page_x(page, x, points[i].x)),
            coord(page_y(page, y, points[i].y)));
    put(out, "\"/>\n");
}

void draw_chromatogram(std::string& out, const Page& page, const Axis& x, const Axis& y,
                       const std::vector<Point>& points) {
    std::vector<std::pair<std::string, std::string>> places;
    places.reserve(points.size());
    for (const Point& point : points)
        places.emplace_back(coord(page_x(page, x, point.x)), coord(page_y(page, y, point.y)));
    if (!places.empty()) {
        put(out,
            "<polyline class=\"trace\" fill=\"none\" stroke=\"{}\" stroke-width=\"1.5\" "
            "stroke-linejoin=\"round\" points=\"",
            INK);
        for (std::size_t i = 0; i < places.size(); ++i)
            put(out, "{}{},{}", i == 0 ? "" : " ", places[i].first, places[i].second);
        put(out, "\"/>\n");
    }
    // Markers show where the scans are; thousands of them would only blot
    // out the line.
    if (places.size() > MOST_MARKERS)
        return;
    put(out, "<g class=\"markers\" fill=\"{}\">\n", INK);
    for (const auto& [at_x, at_y] : places)
        put(out, "<circle class=\"point\" cx=\"{}\" cy=\"{}\" r=\"2.5\"/>\n", at_x, at_y);
    put(out, "</g>\n");
}

} // namespace

std::string svg_plot(std::span<const double> x, std::span<const double> y, const PlotSpec& spec) {
    const Page page = page_of(spec);
    std::vector<Point> points = finite_points(x, y);
    std::erase_if(points, [&spec](const Point& point) { return !spec.x_range.contains(point.x); });
    Axis horizontal = x_axis(points);
    if (!spec.x_range.whole()) {
        // The range asked for, exactly, where it is given and wide enough.
        const double lo = std::isfinite(spec.x_range.lo) ? spec.x_range.lo : horizontal.lo;
        const double hi = std::isfinite(spec.x_range.hi) ? spec.x_range.hi : horizontal.hi;
        if (hi - lo > TINY)
            horizontal = make_axis(lo, hi, false);
    }
    // Room above the highest peak for its label and the marks' texts.
    const bool annotated =
        (spec.labels > 0 && spec.trace != Trace::CHROMATOGRAM) || !spec.marks.empty();
    std::vector<Point> headroom = points;
    if (annotated && !points.empty()) {
        const auto highest = std::max_element(
            points.begin(), points.end(), [](const Point& a, const Point& b) { return a.y < b.y; });
        headroom.push_back({highest->x, highest->y * 1.12});
    }
    const Axis vertical = y_axis(headroom);

    std::string out;
    const char* note = spec.trace == Trace::CHROMATOGRAM ? "no points"
                       : spec.x_range.whole()            ? "no peaks"
                                                         : "no peaks in this m/z range";
    frame(out, page, horizontal, vertical, spec.text, points.empty(), note);
    switch (spec.trace) {
    case Trace::STICKS:
        draw_sticks(out, page, horizontal, vertical, points);
        break;
    case Trace::PROFILE:
        draw_profile(out, page, horizontal, vertical, points);
        break;
    case Trace::CHROMATOGRAM:
        draw_chromatogram(out, page, horizontal, vertical, points);
        break;
    }
    // Labels may reach into the band between the subtitle and the plot.
    LabelPlacer placer({page.left, page.top - 14, page.right, page.bottom});
    draw_marks(out, page, horizontal, spec, placer);
    draw_labels(out, page, horizontal, vertical, points, spec, placer);
    put(out, "</svg>\n");
    return out;
}

std::string svg_stick_plot(std::span<const double> x, std::span<const double> y,
                           const PlotText& text) {
    PlotSpec spec;
    spec.text = text;
    return svg_plot(x, y, spec);
}

std::string svg_line_plot(std::span<const double> x, std::span<const double> y,
                          const PlotText& text) {
    PlotSpec spec;
    spec.trace = Trace::CHROMATOGRAM;
    spec.text = text;
    return svg_plot(x, y, spec);
}

} // namespace orvohost
