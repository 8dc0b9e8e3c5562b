// Labels, marks, zoom and traces of the plots, read back from the SVG text.
#include <host/output/progress_bar.h>
#include <host/plot/label_placement.h>
#include <host/plot/run_summary.h>
#include <host/plot/svg_plot.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

using namespace orvohost;

struct Text {
    double x;
    double y;
    std::string text;
};

std::vector<Text> texts(const std::string& svg, const std::string& cls) {
    std::vector<Text> found;
    const std::regex pattern("<text class=\"" + cls +
                             "\" x=\"([-0-9.]+)\" y=\"([-0-9.]+)\">([^<]*)<");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), pattern);
         it != std::sregex_iterator(); ++it)
        found.push_back({std::stod((*it)[1]), std::stod((*it)[2]), (*it)[3]});
    return found;
}

TEST(PlotAnnotation, CrowdedLabelsNeverOverlap) {
    // Forty nearly equal peaks a hair apart on a wide axis: most labels
    // cannot fit.
    std::vector<double> mz{100};
    std::vector<double> intensity{1};
    for (int i = 0; i < 40; ++i) {
        mz.push_back(500 + i * 0.5);
        intensity.push_back(1000 - i);
    }
    mz.push_back(1000);
    intensity.push_back(1);
    PlotSpec spec;
    spec.labels = 40;
    const auto labels = texts(svg_plot(mz, intensity, spec), "peak-label");
    ASSERT_GE(labels.size(), 3u);
    EXPECT_LT(labels.size(), 40u);
    EXPECT_EQ(labels.front().text, "500.00"); // the highest is placed first
    for (std::size_t a = 0; a < labels.size(); ++a)
        for (std::size_t b = a + 1; b < labels.size(); ++b) {
            const Box one{labels[a].x - text_width(labels[a].text, 10) / 2, labels[a].y - 10,
                          labels[a].x + text_width(labels[a].text, 10) / 2, labels[a].y + 3};
            const Box two{labels[b].x - text_width(labels[b].text, 10) / 2, labels[b].y - 10,
                          labels[b].x + text_width(labels[b].text, 10) / 2, labels[b].y + 3};
            EXPECT_FALSE(one.overlaps(two)) << labels[a].text << " and " << labels[b].text;
        }
}

TEST(PlotAnnotation, ZoomMarksAndTraces) {
    const std::vector<double> mz{100, 114.11, 115.11, 116.11, 117.11, 800};
    const std::vector<double> intensity{9e6, 10, 30, 20, 15, 8e6};
    PlotSpec spec;
    spec.labels = 2;
    spec.x_range = parse_interval("113:118");
    spec.marks = {{115.5, "precursor 115.50 (2+)"}, {700, "outside"}};
    spec.width = 500;
    spec.height = 300;
    const std::string svg = svg_plot(mz, intensity, spec);
    EXPECT_NE(svg.find("width=\"500\" height=\"300\""), std::string::npos);
    // Only the four reporter ions are drawn, and the highest two labelled.
    std::size_t sticks = 0;
    for (std::size_t at = svg.find("class=\"peak\""); at != std::string::npos;
         at = svg.find("class=\"peak\"", at + 1))
        ++sticks;
    EXPECT_EQ(sticks, 4u);
    std::vector<std::string> shown;
    for (const auto& label : texts(svg, "peak-label"))
        shown.push_back(label.text);
    EXPECT_EQ(shown, (std::vector<std::string>{"115.11", "116.11"}));
    const auto marks = texts(svg, "mark-label");
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].text, "precursor 115.50 (2+)");
    // A profile is one path, its labels at apexes only: not on a flank, nor
    // on the noise of a peak's top (8.9 beside 9).
    spec.trace = Trace::PROFILE;
    spec.x_range = {};
    spec.marks.clear();
    const std::vector<double> x{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    const std::vector<double> y{0, 2, 5, 9, 8.8, 8.9, 2, 0, 0, 1, 3, 4, 3, 1, 0};
    const std::string profile = svg_plot(x, y, spec);
    EXPECT_NE(profile.find("<path class=\"profile\""), std::string::npos);
    EXPECT_EQ(profile.find("class=\"peak\""), std::string::npos);
    shown.clear();
    for (const auto& label : texts(profile, "peak-label"))
        shown.push_back(label.text);
    EXPECT_EQ(shown, (std::vector<std::string>{"4.00", "12.00"}));
}

TEST(ProgressRate, ShownOnceEstimable) {
    EXPECT_EQ(progress_rate_text(0, 10, 1000000), "");
    EXPECT_EQ(progress_rate_text(50, 0.5, 1000000), "");
    EXPECT_EQ(progress_rate_text(25, 2, 80000000), "10.0 MB/s, 0:06 left");
    EXPECT_EQ(progress_rate_text(10, 400, 0), "1:00:00 left");
    EXPECT_EQ(progress_rate_text(100, 4, 8000000), "2.0 MB/s");
}

// What the end-to-end test's files cannot show: a median of an even count,
// an empty spectrum, levels of different kinds.
TEST(RunSummary, MedianAndKindsPerLevel) {
    RunSummary summary;
    const auto add = [&summary](std::int16_t level, int kind, std::size_t peaks) {
        orvoeng::ScanRecord scan;
        scan.scan_type.set_ms_level(level);
        orvoeng::Spectrum spectrum;
        spectrum.peak_kind = kind;
        spectrum.peaks->resize(peaks, {100, 1});
        summary.add_spectrum(scan, spectrum);
    };
    add(1, 3, 3);
    add(2, 0, 1);
    add(2, 0, 0);
    add(2, 0, 2);
    EXPECT_EQ((std::tuple{summary.fewest_peaks(), summary.median_peaks(), summary.most_peaks()}),
              (std::tuple{0u, 1.5, 3u}));
    EXPECT_EQ(summary.peak_kind(), "MS1 profile, MS2 centroided");
    add(2, 3, 1);
    EXPECT_EQ(summary.peak_kind(), "MS1 profile, MS2 mixed");
}

} // namespace
