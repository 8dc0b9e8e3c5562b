#include <host/plot/label_placement.h>
#include <host/plot/svg_plot.h>

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <optional>
#include <set>
#include <vector>

namespace {

using orvohost::PlotText;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The tick label texts inside <g class="GROUP">.
std::vector<std::string> labels(const std::string& svg, const std::string& group) {
    const std::size_t begin = svg.find("<g class=\"" + group + "\"");
    const std::size_t end = svg.find("</g>", begin);
    std::vector<std::string> texts;
    const std::string mark = "class=\"tick-label\"";
    for (std::size_t at = svg.find(mark, begin); at < end; at = svg.find(mark, at + 1)) {
        const std::size_t from = svg.find('>', at) + 1;
        texts.push_back(svg.substr(from, svg.find('<', from) - from));
    }
    return texts;
}

// Whether xmllint finds the document well formed; nothing when it is absent.
std::optional<bool> xmllint_accepts(const std::string& svg) {
    if (std::system("command -v xmllint >/dev/null 2>&1") != 0)
        return std::nullopt;
    const fixture::TempDir dir;
    const auto path = dir.write("plot.svg", svg);
    return std::system(("xmllint --noout '" + path.string() + "' 2>/dev/null").c_str()) == 0;
}

struct Case {
    const char* name;
    bool sticks; // svg_stick_plot, else svg_line_plot
    std::vector<double> x;
    std::vector<double> y;
    std::size_t marks;              // drawn points
    std::vector<std::string> x_has; // among the x tick labels
    std::vector<std::string> y_has; // among the y tick labels
    bool nice = true;               // 5 to 10 ticks on each axis
};

const Case CASES[] = {
    {"spectrum", true, {100.5, 250.25, 999.9}, {1.2e6, 3e5, 8e5}, 3, {"1000"}, {"1M", "1.2M"}},
    {"tenths", false, {0, 1, 2, 3}, {0.1, 0.2, 0.30000000000000004, 0.05}, 4, {"1.0"}, {"0.30"}},
    {"no_points", true, {}, {}, 0, {}, {"0"}},
    {"no_points_line", false, {}, {}, 0, {}, {"0"}},
    {"one_point", true, {512.27}, {1000}, 1, {}, {"0", "1000"}},
    {"same_x", false, {5, 5, 5}, {1, 2, 3}, 3, {"5.00"}, {"0", "3.0"}},
    {"all_zero", true, {1, 2, 3}, {0, 0, 0}, 3, {}, {"0"}},
    {"negative", true, {1, 2}, {-5, 10}, 2, {}, {"-6", "0", "10"}},
    {"non_finite_skipped", true, {1, NaN, 3, INF, 4}, {1, 2, INF, 4, -INF}, 1, {}, {"0"}},
    {"extremes", false, {-1e308, 1e308}, {1.7e308, 1}, 2, {}, {"0"}, false},
};

TEST(SvgPlot, DrawsEveryFinitePointOnReadableAxes) {
    for (const Case& c : CASES) {
        SCOPED_TRACE(c.name);
        // File names may hold any bytes: markup, a control, a byte that is not UTF-8.
        const PlotText text{"a<&>\"b.mzXML", "MS2 \x01\xff", "m/z", "intensity"};
        const std::string svg = c.sticks ? orvohost::svg_stick_plot(c.x, c.y, text)
                                         : orvohost::svg_line_plot(c.x, c.y, text);
        if (const auto accepted = xmllint_accepts(svg)) {
            EXPECT_TRUE(*accepted) << svg;
        }
        EXPECT_EQ(count(svg, c.sticks ? "class=\"peak\"" : "class=\"point\""), c.marks);
        EXPECT_EQ(count(svg, "a&lt;&amp;&gt;&quot;b.mzXML"), 2u); // <title> and the shown title
        EXPECT_EQ(count(svg, "nan") + count(svg, "inf"), 0u);
        EXPECT_EQ(count(svg, "no peaks") + count(svg, "no points"), c.marks == 0 ? 1u : 0u);
        for (const char* group : {"x-ticks", "y-ticks"}) {
            const auto shown = labels(svg, group);
            const std::set<std::string> distinct(shown.begin(), shown.end());
            EXPECT_EQ(distinct.size(), shown.size()) << group << " labels repeat";
            if (c.nice) {
                EXPECT_GE(shown.size(), 5u) << group;
                EXPECT_LE(shown.size(), 10u) << group;
            }
            for (const std::string& label : shown)
                EXPECT_LE(label.size(), 9u) << group << " label " << label;
            for (const std::string& wanted : std::string(group) == "x-ticks" ? c.x_has : c.y_has)
                EXPECT_TRUE(distinct.contains(wanted)) << group << " lack " << wanted;
        }
    }
}

// The content of the first <text class="NAME">.
std::string text_of(const std::string& svg, const std::string& name) {
    const std::size_t at = svg.find('>', svg.find("<text class=\"" + name + "\"")) + 1;
    return svg.substr(at, svg.find('<', at) - at);
}

TEST(SvgPlotText, TooLongForThePageIsShortenedInTheMiddleNeverClipped) {
    const std::string name(150, 'n');
    const std::string title = "run_" + name + "_07.mzXML  total ion current";
    const std::string subtitle = "900 MS1 scans, summed from the peaks: " + name;
    for (const int width : {320, 960}) {
        orvohost::PlotSpec spec;
        spec.width = width;
        spec.text = {title, subtitle, "retention time (min)", "total ion current"};
        const std::string svg =
            orvohost::svg_plot(std::vector<double>{1}, std::vector<double>{2}, spec);
        const std::string shown = text_of(svg, "title");
        // Bold glyphs a tenth wider than text_width's estimate, centred on
        // the page with 10 units to spare at each side.
        EXPECT_LE(orvohost::text_width(shown, 17 * 1.1), width - 20) << shown;
        // The name gives way, what is plotted stays whole.
        EXPECT_TRUE(shown.starts_with("run")) << shown;
        EXPECT_TRUE(shown.ends_with(width > 320 ? "nnn_07.mzXML  total ion current"
                                                : "  total ion current"))
            << shown;
        EXPECT_EQ(count(shown, "\u2026"), 1u) << shown;
        const std::string second = text_of(svg, "subtitle");
        EXPECT_LE(orvohost::text_width(second, 13), width - 20) << second;
        EXPECT_TRUE(second.starts_with("900 MS1 scans") && second.ends_with("nnn")) << second;
        // What fits stays whole, and the document's own title is never cut.
        EXPECT_EQ(text_of(svg, "y-label"), "total ion current");
        EXPECT_NE(svg.find("<title>" + title + "</title>"), std::string::npos);
    }
}

TEST(SvgPlotInput, UnequalLengthsThrow) {
    const std::vector<double> two{1, 2}, one{1};
    EXPECT_THROW(orvohost::svg_stick_plot(two, one, {}), std::invalid_argument);
    EXPECT_THROW(orvohost::svg_line_plot(one, two, {}), std::invalid_argument);
}

} // namespace
