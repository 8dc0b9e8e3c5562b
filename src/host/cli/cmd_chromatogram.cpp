// orvo-host tic|bpc|xic FILE -o OUT.svg: chromatograms of the scans the
// filters select (MS1 by default), with the axes and titles of every plot:
// the total ion current, the base peak (the most intense peak of each scan)
// and the extracted ion (the peaks within a tolerance of one m/z, summed).
#include "context.h"

#include <host/plot/svg_plot.h>
#include <host/select/mass_tolerance.h>
#include <host/session/record_values.h>

#include <fmt/format.h>

#include <algorithm>

namespace orvohost::cli {

namespace {

enum class Kind { TIC, BPC, XIC };

struct Chromatogram {
    explicit Chromatogram(Kind of) : kind(of) { spec.trace = Trace::CHROMATOGRAM; }

    Kind kind;
    std::string file;
    std::string output;
    ScanFilter filter;
    PeakFilter peaks;
    PlotSpec spec;
    double target = 0;
    MassTolerance tolerance;
};

std::string levels_text(const WholeRanges& levels) {
    if (levels.size() == 1 && levels[0].first == levels[0].second)
        return fmt::format("MS{}", levels[0].first);
    std::string text = "MS levels ";
    for (std::size_t i = 0; i < levels.size(); ++i)
        text += (i ? "," : "") + (levels[i].first == levels[i].second
                                      ? fmt::format("{}", levels[i].first)
                                      : fmt::format("{}-{}", levels[i].first, levels[i].second));
    return text;
}

std::string tolerance_text(const MassTolerance& tolerance) {
    return tolerance.ppm ? fmt::format("{} ppm", number_text(tolerance.value))
                         : fmt::format("{} m/z", number_text(tolerance.value));
}

// One value a scan; a spectrum is fetched only where the listing cannot
// answer: a total ion current the file gives, with no peak filter, is taken
// as it is.
void draw(Context& context, Chromatogram& c) {
    if (c.filter.ms_levels.empty())
        c.filter.ms_levels = {{1, 1}};
    DataFile data(context.plugin(), c.file, context.event_printer(c.file));
    const auto root = data.root_progress(2);
    const auto& scans = context.open(data, root);
    root->step(1);
    std::vector<double> minutes;
    std::vector<double> values;
    std::size_t summed = 0;
    {
        PAL::SmartPtr<PAL::Progress> node(
            new PAL::Progress(root, static_cast<std::uint32_t>(scans.size()), 1));
        for (const auto& scan : scans) {
            node->step(1);
            if (!c.filter.selects(scan))
                continue;
            minutes.push_back(scan.retention_time / 60.0);
            if (c.kind == Kind::TIC && !c.peaks.any())
                if (const auto tic = known_tic(scan)) {
                    values.push_back(*tic);
                    continue;
                }
            const auto spectrum = data.spectrum(scan.label);
            c.peaks.apply_to(*spectrum);
            double value = 0;
            for (const auto& peak : *spectrum->peaks) {
                if (c.kind == Kind::BPC)
                    value = std::max(value, peak.intensity);
                else if (c.kind == Kind::TIC || c.tolerance.matches(c.target, peak.mz))
                    value += peak.intensity;
            }
            values.push_back(value);
            summed += c.kind == Kind::TIC && !c.peaks.any() ? 1U : 0U;
        }
    }
    const std::string name = std::filesystem::path(c.file).filename().string();
    const std::string levels = levels_text(c.filter.ms_levels);
    std::string subtitle = levels.starts_with("MS levels")
                               ? fmt::format("{} scans of {}", minutes.size(), levels)
                               : fmt::format("{} {} scans", minutes.size(), levels);
    if (summed == minutes.size() && summed > 0)
        subtitle += ", summed from the peaks: the file gives no totIonCurrent";
    else if (summed > 0)
        subtitle += fmt::format(", {} summed from the peaks: the file gives no totIonCurrent "
                                "for them",
                                summed);
    if (c.kind != Kind::XIC && !c.peaks.mz.whole())
        subtitle += fmt::format(", peaks of m/z {}:{}", number_text(c.peaks.mz.lo),
                                number_text(c.peaks.mz.hi));
    switch (c.kind) {
    case Kind::TIC:
        c.spec.text = {fmt::format("{}  total ion current", name), subtitle, "retention time (min)",
                       "total ion current"};
        break;
    case Kind::BPC:
        c.spec.text = {fmt::format("{}  base peak", name), subtitle, "retention time (min)",
                       "base peak intensity"};
        break;
    case Kind::XIC:
        c.spec.text = {fmt::format("{}  extracted ion m/z {} \u00b1 {}", name,
                                   number_text(c.target), tolerance_text(c.tolerance)),
                       subtitle, "retention time (min)", "intensity"};
        break;
    }
    // Opened last: nothing is left behind when a spectrum fails, and an
    // earlier file of that name stays as it was.
    OutputFile out(c.output);
    out.write(svg_plot(minutes, values, c.spec));
    out.commit();
}

CLI::App* add_chromatogram(CLI::App& app, Context& context, int& status, Chromatogram& c,
                           const std::string& name, const std::string& description) {
    auto* command = app.add_subcommand(name, description);
    command->add_option("FILE", c.file, "mzXML file")->required();
    command->add_option("-o,--output", c.output, "SVG file to write")->required();
    add_scan_filter(*command, c.filter, "1");
    if (c.kind != Kind::XIC)
        add_peak_filter(*command, c.peaks);
    add_plot_size(*command, c.spec);
    add_shared_options(*command, context.options, READS);
    command->callback([&context, &status, &c] {
        draw(context, c);
        status = 0;
    });
    return command;
}

} // namespace

void add_tic(CLI::App& app, Context& context, int& status) {
    static Chromatogram c(Kind::TIC);
    add_chromatogram(app, context, status, c, "tic",
                     "Draw the total-ion-current chromatogram as SVG (MS1 scans by default)");
}

void add_bpc(CLI::App& app, Context& context, int& status) {
    static Chromatogram c(Kind::BPC);
    add_chromatogram(app, context, status, c, "bpc",
                     "Draw the base-peak chromatogram as SVG (MS1 scans by default)");
}

void add_xic(CLI::App& app, Context& context, int& status) {
    static Chromatogram c(Kind::XIC);
    auto* command = add_chromatogram(
        app, context, status, c, "xic",
        "Draw the extracted-ion chromatogram of one m/z as SVG (MS1 scans by default)");
    add_parsed(
        *command, "--mz", [](const std::string& text) { c.target = parse_number(text); },
        "the m/z to extract")
        ->required();
    add_parsed(
        *command, "--tol",
        [](const std::string& text) { c.tolerance = parse_mass_tolerance(text); },
        "how far a peak may be from the m/z: 10ppm or 0.01 (m/z units; default 10ppm)");
}

} // namespace orvohost::cli
