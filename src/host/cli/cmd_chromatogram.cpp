// orvo-host tic|bpc|xic FILE -o OUT.svg: chromatograms of the scans the
// filters select (MS1 by default), with the axes and titles of every plot:
// the total ion current, the base peak (the most intense peak of each scan)
// and the extracted ion (the peaks within a tolerance of one m/z, summed).
// With --format table|tsv|json the trace is written as rows instead, to -o
// or standard output.
#include "context.h"

#include <host/output/listing.h>
#include <host/output/number_text.h>
#include <host/plot/svg_plot.h>
#include <host/select/mass_tolerance.h>
#include <host/session/record_values.h>

#include <fmt/format.h>

#include <algorithm>
#include <limits>

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
    return fmt::format("{} {}", number_text(tolerance.value), unit_text(tolerance.unit));
}

// One point a selected scan.
struct Trace {
    std::vector<std::uint32_t> labels;
    std::vector<double> seconds;
    std::vector<double> values;
    // Scans whose total ion current was summed from their peaks.
    std::size_t summed = 0;
    // Where the peaks of the spectra read lie.
    double lowest_mz = std::numeric_limits<double>::infinity();
    double highest_mz = -std::numeric_limits<double>::infinity();
};

// A spectrum is fetched only where the listing cannot answer: a total ion
// current the file gives, with no peak filter, is taken as it is.
Trace read_trace(Context& context, Chromatogram& c, DataFile& data) {
    const auto root = data.root_progress(2);
    const auto& scans = context.open(data, root);
    root->step(1);
    Trace trace;
    PAL::SmartPtr<PAL::Progress> node(
        new PAL::Progress(root, static_cast<std::uint32_t>(scans.size()), 1));
    for (const auto& scan : scans) {
        node->step(1);
        if (!c.filter.selects(scan))
            continue;
        trace.labels.push_back(scan.label);
        trace.seconds.push_back(scan.retention_time);
        if (c.kind == Kind::TIC && !c.peaks.any())
            if (const auto tic = known_tic(scan)) {
                trace.values.push_back(*tic);
                continue;
            }
        const auto spectrum = data.spectrum(scan.label);
        c.peaks.apply_to(*spectrum);
        double value = 0;
        for (const auto& peak : *spectrum->peaks) {
            trace.lowest_mz = std::min(trace.lowest_mz, peak.mz);
            trace.highest_mz = std::max(trace.highest_mz, peak.mz);
            if (c.kind == Kind::BPC)
                value = std::max(value, peak.intensity);
            else if (c.kind == Kind::TIC || c.tolerance.matches(c.target, peak.mz))
                value += peak.intensity;
        }
        trace.values.push_back(value);
        trace.summed += c.kind == Kind::TIC && !c.peaks.any() ? 1U : 0U;
    }
    return trace;
}

// A peak's m/z as its file wrote it: a 32-bit value as a float's digits.
std::string mz_text(double mz) {
    std::string text;
    (is_single(mz) ? append_as_float : append_number)(text, mz);
    return text;
}

// An extracted ion that no scan's peaks reach is a flat zero trace, most
// often a typo in --mz or a tolerance in the wrong unit: said, not drawn
// silently.
void note_target_outside(Context& context, const Chromatogram& c, const Trace& trace,
                         const std::string& name) {
    if (c.kind != Kind::XIC || context.options.quiet || trace.lowest_mz > trace.highest_mz)
        return;
    const double reach = c.tolerance.half_width(c.target);
    if (c.target + reach >= trace.lowest_mz && c.target - reach <= trace.highest_mz)
        return;
    context.note(fmt::format("{}: m/z {} \u00b1 {} lies outside the peaks of every scan read "
                             "(m/z {} to {}): the trace is zero",
                             name, number_text(c.target), tolerance_text(c.tolerance),
                             mz_text(trace.lowest_mz), mz_text(trace.highest_mz)));
}

// The trace as rows: the retention time as the file holds it and in the
// minutes of the plot's axis, and the intensity.
void write_rows(Context& context, const Chromatogram& c, const Trace& trace) {
    OutputFile out(c.output);
    const auto writer = make_row_writer(context.format(c.output),
                                        {"label", "rt_seconds", "rt_minutes", "intensity"});
    std::string text;
    for (std::size_t i = 0; i < trace.values.size(); ++i) {
        writer->row({std::int64_t{trace.labels[i]}, trace.seconds[i], trace.seconds[i] / 60.0,
                     trace.values[i]},
                    text);
        out.write_when_full(text);
    }
    writer->finish(text);
    out.write(text);
    out.commit();
}

bool as_rows(const Context& context) {
    return !context.options.format.empty() && context.options.format != "svg";
}

void draw(Context& context, Chromatogram& c) {
    if (c.filter.ms_levels.empty())
        c.filter.ms_levels = {{1, 1}};
    if (c.kind == Kind::XIC && c.tolerance.unit_assumed && !context.options.quiet)
        context.note(fmt::format("--tol {0}: a number without a unit is taken as {0} Da; write "
                                 "{0}Da or {0}ppm to say which",
                                 number_text(c.tolerance.value)));
    DataFile data(context.plugin(), c.file, context.event_printer(c.file));
    const Trace trace = read_trace(context, c, data);
    const std::string name = std::filesystem::path(c.file).filename().string();
    note_target_outside(context, c, trace, name);
    if (as_rows(context)) {
        // The subtitle's word on summed currents, where no subtitle is drawn.
        if (trace.summed > 0 && !context.options.quiet)
            context.note(fmt::format("{}: {} of {} scans summed from the peaks: the file gives "
                                     "no totIonCurrent for them",
                                     name, trace.summed, trace.values.size()));
        write_rows(context, c, trace);
        return;
    }
    std::vector<double> minutes;
    for (const double seconds : trace.seconds)
        minutes.push_back(seconds / 60.0);
    const std::string levels = levels_text(c.filter.ms_levels);
    std::string subtitle = levels.starts_with("MS levels")
                               ? fmt::format("{} scans of {}", minutes.size(), levels)
                               : fmt::format("{} {} scans", minutes.size(), levels);
    if (trace.summed == minutes.size() && trace.summed > 0)
        subtitle += ", summed from the peaks: the file gives no totIonCurrent";
    else if (trace.summed > 0)
        subtitle += fmt::format(", {} summed from the peaks: the file gives no totIonCurrent "
                                "for them",
                                trace.summed);
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
    out.write(svg_plot(minutes, trace.values, c.spec));
    out.commit();
}

CLI::App* add_chromatogram(CLI::App& app, Context& context, int& status, Chromatogram& c,
                           const std::string& name, const std::string& description) {
    auto* command = app.add_subcommand(name, description);
    command->add_option("FILE", c.file, "mzXML file")->required();
    add_output_option(*command, c.output,
                      "SVG file (required for the plot) or, with --format, the rows");
    command
        ->add_option("--format", context.options.format,
                     "svg (the default) draws the plot; table, tsv or json write the trace as "
                     "rows: label, rt_seconds, rt_minutes, intensity")
        ->check(CLI::IsMember({"svg", "table", "tsv", "json"}));
    add_scan_filter(*command, c.filter, "1");
    if (c.kind != Kind::XIC)
        add_peak_filter(*command, c.peaks);
    add_plot_size(*command, c.spec);
    add_shared_options(*command, context.options, READS);
    command->callback([&context, &status, &c, name] {
        if (!as_rows(context) && c.output.empty())
            throw CLI::ValidationError(name, "give -o OUT.svg for the plot, or --format tsv or "
                                             "json to write the trace as rows");
        draw(context, c);
        status = 0;
    });
    return command;
}

} // namespace

void add_tic(CLI::App& app, Context& context, int& status) {
    static Chromatogram c(Kind::TIC);
    add_chromatogram(app, context, status, c, "tic",
                     "Draw the total-ion-current chromatogram as SVG, or write it as rows "
                     "(MS1 scans by default)");
}

void add_bpc(CLI::App& app, Context& context, int& status) {
    static Chromatogram c(Kind::BPC);
    add_chromatogram(app, context, status, c, "bpc",
                     "Draw the base-peak chromatogram as SVG, or write it as rows (MS1 scans by "
                     "default)");
}

void add_xic(CLI::App& app, Context& context, int& status) {
    static Chromatogram c(Kind::XIC);
    auto* command = add_chromatogram(
        app, context, status, c, "xic",
        "Draw the extracted-ion chromatogram of one m/z as SVG, or write it as rows (MS1 scans "
        "by default)");
    add_parsed(
        *command, "--mz", [](const std::string& text) { c.target = parse_number(text); },
        "the m/z to extract")
        ->required();
    add_parsed(
        *command, "--tol",
        [](const std::string& text) { c.tolerance = parse_mass_tolerance(text); },
        "how far a peak may be from the m/z, with its unit: 10ppm (the default), 0.01Da or 5mmu; "
        "a bare number is taken as Da, and said so");
}

} // namespace orvohost::cli
