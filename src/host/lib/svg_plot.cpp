#include "svg_plot.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace orvohost {

namespace {

constexpr double WIDTH = 960, HEIGHT = 540;
constexpr double LEFT = 90, RIGHT = 30, TOP = 70, BOTTOM = 70;
constexpr double PLOT_W = WIDTH - LEFT - RIGHT, PLOT_H = HEIGHT - TOP - BOTTOM;

std::string escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

struct Axis {
    double low, high, step;
    int decimals;
};

// The classic nice-numbers choice: a step of 1, 2 or 5 times a power of
// ten giving about six ticks over the range.
Axis nice_axis(double low, double high) {
    if (!(high > low)) {
        const double pad = low == 0 ? 1 : std::abs(low) * 0.1;
        low -= pad;
        high += pad;
    }
    const double rough = (high - low) / 6;
    const double power = std::pow(10, std::floor(std::log10(rough)));
    const double fraction = rough / power;
    const double step = (fraction < 1.5 ? 1 : fraction < 3 ? 2 : fraction < 7 ? 5 : 10) * power;
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
    return {std::floor(low / step) * step, std::ceil(high / step) * step, step, decimals};
}

std::string tick_label(double value, const Axis& axis) {
    if (std::abs(value) < axis.step * 1e-9)
        value = 0; // no "-0"
    const double magnitude = std::max(std::abs(axis.low), std::abs(axis.high));
    if (magnitude >= 1e6) {
        // Large intensities read better as mantissa and exponent.
        const int exponent = static_cast<int>(std::floor(std::log10(magnitude)));
        const double scale = std::pow(10, exponent);
        const int digits =
            std::max(0, exponent - static_cast<int>(std::floor(std::log10(axis.step))));
        return fmt::format("{:.{}f}e{}", value / scale, std::min(digits, 6), exponent);
    }
    return fmt::format("{:.{}f}", value, axis.decimals);
}

struct Frame {
    Axis x, y;
    double px(double v) const { return LEFT + (v - x.low) / (x.high - x.low) * PLOT_W; }
    double py(double v) const { return TOP + PLOT_H - (v - y.low) / (y.high - y.low) * PLOT_H; }
};

struct Points {
    std::vector<double> x, y;
};

Points finite_points(std::span<const double> x, std::span<const double> y) {
    if (x.size() != y.size())
        throw std::invalid_argument("x and y of a plot differ in length");
    Points points;
    for (std::size_t i = 0; i < x.size(); ++i)
        if (std::isfinite(x[i]) && std::isfinite(y[i])) {
            points.x.push_back(x[i]);
            points.y.push_back(y[i]);
        }
    return points;
}

Frame frame_for(const Points& points) {
    if (points.x.empty())
        return {nice_axis(0, 1), nice_axis(0, 1)};
    const auto [xmin, xmax] = std::minmax_element(points.x.begin(), points.x.end());
    const double pad = (*xmax - *xmin) * 0.03;
    const double ymax = std::max(0.0, *std::max_element(points.y.begin(), points.y.end()));
    const double ymin = std::min(0.0, *std::min_element(points.y.begin(), points.y.end()));
    return {nice_axis(*xmin - pad, *xmax + pad), nice_axis(ymin, ymax > ymin ? ymax : ymin + 1)};
}

// Document start, title, axes with ticks and labels.
std::string begin(const Frame& frame, const PlotText& text, bool empty) {
    std::string svg = fmt::format(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"{0}\" height=\"{1}\" "
        "viewBox=\"0 0 {0} {1}\" font-family=\"sans-serif\">\n"
        "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
        "<text x=\"{2}\" y=\"28\" font-size=\"18\" font-weight=\"bold\">{3}</text>\n"
        "<text x=\"{2}\" y=\"50\" font-size=\"13\" fill=\"#444\">{4}</text>\n",
        WIDTH, HEIGHT, LEFT, escape(text.title), escape(text.subtitle));
    const double bottom = TOP + PLOT_H;
    svg += fmt::format("<g stroke=\"black\" stroke-width=\"1\">\n"
                       "<line x1=\"{0}\" y1=\"{1}\" x2=\"{2}\" y2=\"{1}\"/>\n"
                       "<line x1=\"{0}\" y1=\"{3}\" x2=\"{0}\" y2=\"{1}\"/>\n</g>\n",
                       LEFT, bottom, LEFT + PLOT_W, TOP);
    svg += "<g font-size=\"12\">\n";
    for (double v = frame.x.low; v <= frame.x.high + frame.x.step * 1e-6; v += frame.x.step)
        svg += fmt::format(
            "<line x1=\"{0:.2f}\" y1=\"{1}\" x2=\"{0:.2f}\" y2=\"{2}\" stroke=\"black\"/>"
            "<text x=\"{0:.2f}\" y=\"{3}\" text-anchor=\"middle\">{4}</text>\n",
            frame.px(v), bottom, bottom + 5, bottom + 20, tick_label(v, frame.x));
    for (double v = frame.y.low; v <= frame.y.high + frame.y.step * 1e-6; v += frame.y.step)
        svg += fmt::format(
            "<line x1=\"{0}\" y1=\"{1:.2f}\" x2=\"{2}\" y2=\"{1:.2f}\" stroke=\"black\"/>"
            "<text x=\"{3}\" y=\"{4:.2f}\" text-anchor=\"end\">{5}</text>\n",
            LEFT - 5, frame.py(v), LEFT, LEFT - 8, frame.py(v) + 4, tick_label(v, frame.y));
    svg += "</g>\n";
    svg +=
        fmt::format("<text x=\"{}\" y=\"{}\" font-size=\"14\" text-anchor=\"middle\">{}</text>\n",
                    LEFT + PLOT_W / 2, HEIGHT - 20, escape(text.x_label));
    svg += fmt::format("<text x=\"22\" y=\"{0}\" font-size=\"14\" text-anchor=\"middle\" "
                       "transform=\"rotate(-90 22 {0})\">{1}</text>\n",
                       TOP + PLOT_H / 2, escape(text.y_label));
    if (empty)
        svg += fmt::format("<text x=\"{}\" y=\"{}\" font-size=\"16\" text-anchor=\"middle\" "
                           "fill=\"#888\">no peaks</text>\n",
                           LEFT + PLOT_W / 2, TOP + PLOT_H / 2);
    return svg;
}

} // namespace

std::string svg_stick_plot(std::span<const double> x, std::span<const double> y,
                           const PlotText& text) {
    const Points points = finite_points(x, y);
    const Frame frame = frame_for(points);
    std::string svg = begin(frame, text, points.x.empty());
    svg += "<g stroke=\"#1f4e9c\" stroke-width=\"1\">\n";
    const double base = frame.py(0);
    for (std::size_t i = 0; i < points.x.size(); ++i)
        svg += fmt::format("<line class=\"peak\" x1=\"{0:.2f}\" y1=\"{1:.2f}\" x2=\"{0:.2f}\" "
                           "y2=\"{2:.2f}\"/>\n",
                           frame.px(points.x[i]), base, frame.py(points.y[i]));
    return svg + "</g>\n</svg>\n";
}

std::string svg_line_plot(std::span<const double> x, std::span<const double> y,
                          const PlotText& text) {
    const Points points = finite_points(x, y);
    const Frame frame = frame_for(points);
    std::string svg = begin(frame, text, points.x.empty());
    if (!points.x.empty()) {
        svg += "<polyline fill=\"none\" stroke=\"#1f4e9c\" stroke-width=\"1.5\" points=\"";
        for (std::size_t i = 0; i < points.x.size(); ++i)
            svg += fmt::format("{}{:.2f},{:.2f}", i ? " " : "", frame.px(points.x[i]),
                               frame.py(points.y[i]));
        svg += "\"/>\n";
    }
    svg += "<g fill=\"#1f4e9c\">\n";
    for (std::size_t i = 0; i < points.x.size(); ++i)
        svg += fmt::format("<circle class=\"point\" cx=\"{:.2f}\" cy=\"{:.2f}\" r=\"2\"/>\n",
                           frame.px(points.x[i]), frame.py(points.y[i]));
    return svg + "</g>\n</svg>\n";
}

} // namespace orvohost
