// orvo-host plot FILE LABEL -o OUT.svg: a spectrum as sticks (centroided) or
// a line through its points (profile), its precursor marked on an MS2 plot
// and the precursors chosen from it on an MS1 plot, the highest peaks
// labelled with their m/z.
#include "context.h"
#include "usage_text.h"

#include <host/base/count_text.h>
#include <host/plot/svg_plot.h>
#include <host/session/record_values.h>

#include <fmt/format.h>

#include <cstdlib>

namespace orvohost::cli {

namespace {

std::string charge_text(const orvoeng::ScanRecord& scan) {
    const auto charge = known_charge(scan);
    return charge ? fmt::format("{}{}", std::abs(*charge), *charge < 0 ? '-' : '+') : "";
}

std::string precursor_text(const orvoeng::ScanRecord& scan) {
    if (scan.scan_type.ms_level < 2)
        return "";
    std::string text = fmt::format("  precursor {} m/z", number_text(scan.precursor_mz));
    if (known_charge(scan))
        text += ", " + charge_text(scan);
    return text;
}

// The precursor of an MS2 scan, or those of the scans whose parent an MS1
// scan is, from the listing: no spectrum is fetched for them.
std::vector<PlotMark> precursor_marks(const orvoeng::ScanRecord& scan,
                                      const std::vector<orvoeng::ScanRecord>& scans) {
    const auto mark = [](const orvoeng::ScanRecord& of, const std::string& prefix) {
        const std::string charge = charge_text(of);
        return PlotMark{of.precursor_mz, fmt::format("{}{:.2f}{}", prefix, of.precursor_mz,
                                                     charge.empty() ? "" : " (" + charge + ")")};
    };
    std::vector<PlotMark> marks;
    if (scan.scan_type.ms_level >= 2) {
        marks.push_back(mark(scan, "precursor "));
        return marks;
    }
    for (const auto& child : scans)
        if (child.scan_type.ms_level >= 2 && known_parent(child) == scan.label)
            marks.push_back(mark(child, ""));
    return marks;
}

} // namespace

void add_plot_size(CLI::App& command, PlotSpec& spec) {
    command.add_option("--width", spec.width, "width of the SVG page (default 960)")
        ->check(CLI::Range(320, 20000));
    command.add_option("--height", spec.height, "height of the SVG page (default 540)")
        ->check(CLI::Range(240, 20000));
}

void add_plot(CLI::App& app, Context& context, int& status) {
    auto* command = app.add_subcommand(
        "plot", "Draw a scan's spectrum as SVG: sticks, or a line for a profile spectrum");
    static std::string file;
    static std::uint32_t label = 0;
    static std::string output;
    static PeakFilter peaks;
    static PlotSpec spec = [] {
        PlotSpec defaults;
        defaults.labels = 10;
        return defaults;
    }();
    command->add_option("FILE", file, "mzXML file")->required();
    command->add_option("LABEL", label, "scan label")->required()->check(scan_label_check());
    command->add_option("-o,--output", output, "SVG file to write")->required();
    add_peak_filter(*command, peaks);
    command->add_option("--labels", spec.labels,
                        "label the N highest peaks with their m/z, as many as fit (default 10; 0 "
                        "for none)");
    add_plot_size(*command, spec);
    add_shared_options(*command, context.options, READS);
    command->callback([&context, &status] {
        DataFile data(context.plugin(), file, context.event_printer(file));
        const auto& scans = context.open(data, {});
        const auto spectrum = data.spectrum(label);
        const std::size_t read = spectrum->peaks->size();
        peaks.apply_to(*spectrum);
        const orvoeng::ScanRecord& scan = *data.find(label);
        std::vector<double> mz;
        std::vector<double> intensity;
        for (const auto& peak : *spectrum->peaks) {
            mz.push_back(peak.mz);
            intensity.push_back(peak.intensity);
        }
        const std::string shown = mz.size() == read
                                      ? counted(read, "peak", "peaks")
                                      : fmt::format("{} of {} peaks", mz.size(), read);
        spec.trace = spectrum->peak_kind == 0 ? Trace::STICKS : Trace::PROFILE;
        // The m/z filter is also the view: the axis spans what was asked.
        spec.x_range = peaks.mz;
        spec.marks = precursor_marks(scan, scans);
        spec.text = PlotText{
            .title =
                fmt::format("{}  scan {}", std::filesystem::path(file).filename().string(), label),
            .subtitle = fmt::format("MS{}  RT {} s ({:.2f} min)  {}, {}{}", scan.scan_type.ms_level,
                                    number_text(scan.retention_time), scan.retention_time / 60.0,
                                    peak_kind_text(*spectrum), shown, precursor_text(scan)),
            .x_label = "m/z",
            .y_label = "intensity",
        };
        // Opened first, so that an unwritable output fails before any drawing.
        OutputFile out(output);
        out.write(svg_plot(mz, intensity, spec));
        out.commit();
        status = 0;
    });
}

} // namespace orvohost::cli
