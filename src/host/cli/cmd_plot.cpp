// orvo-host plot FILE LABEL -o OUT.svg and orvo-host tic FILE -o OUT.svg:
// a spectrum as a stick plot, the MS1 total ion current as a chromatogram.
#include "context.h"
#include "records.h"
#include "svg_plot.h"

#include <fmt/format.h>

namespace orvohost::cli {

namespace {

std::string precursor_text(const orvoeng::ScanRecord& scan) {
    if (scan.scan_type.ms_level < 2)
        return "";
    std::string text = fmt::format("  precursor {} m/z", number_text(scan.precursor_mz));
    if (const auto charge = known_charge(scan))
        text += fmt::format(", {}{}", std::abs(*charge), *charge < 0 ? '-' : '+');
    return text;
}

using PlotFunction = std::string (*)(std::span<const double>, std::span<const double>,
                                     const PlotText&);

// Opens `path` first, so that an unwritable output fails before any drawing.
void write_plot(const std::string& path, PlotFunction plot, const std::vector<double>& x,
                const std::vector<double>& y, const PlotText& text) {
    OutputFile out(path);
    out.write(plot(x, y, text));
    out.commit();
}

} // namespace

void add_plot(CLI::App& app, Context& context, int& status) {
    auto* command = app.add_subcommand("plot", "Draw a scan's spectrum as an SVG stick plot");
    static std::string file;
    static std::uint32_t label = 0;
    static std::string output;
    command->add_option("FILE", file, "mzXML file")->required();
    command->add_option("LABEL", label, "scan label")->required();
    command->add_option("-o,--output", output, "SVG file to write")->required();
    add_shared_options(*command, context.options, READS);
    command->callback([&context, &status] {
        DataFile data(context.plugin(), file, context.event_printer(file));
        context.open(data, {});
        const auto spectrum = data.spectrum(label);
        const orvoeng::ScanRecord& scan = *data.find(label);
        std::vector<double> mz;
        std::vector<double> intensity;
        for (const auto& peak : *spectrum->peaks) {
            mz.push_back(peak.mz);
            intensity.push_back(peak.intensity);
        }
        const PlotText text{
            .title =
                fmt::format("{}  scan {}", std::filesystem::path(file).filename().string(), label),
            .subtitle =
                fmt::format("MS{}  RT {} s ({:.2f} min)  {}, {} peaks{}", scan.scan_type.ms_level,
                            number_text(scan.retention_time), scan.retention_time / 60.0,
                            peak_kind_text(*spectrum), mz.size(), precursor_text(scan)),
            .x_label = "m/z",
            .y_label = "intensity",
        };
        write_plot(output, svg_stick_plot, mz, intensity, text);
        status = 0;
    });
}

void add_tic(CLI::App& app, Context& context, int& status) {
    auto* command = app.add_subcommand(
        "tic", "Draw the total-ion-current chromatogram of the MS1 scans as SVG");
    static std::string file;
    static std::string output;
    command->add_option("FILE", file, "mzXML file")->required();
    command->add_option("-o,--output", output, "SVG file to write")->required();
    add_shared_options(*command, context.options, READS);
    command->callback([&context, &status] {
        DataFile data(context.plugin(), file, context.event_printer(file));
        std::vector<double> minutes;
        std::vector<double> current;
        std::size_t summed = 0;
        {
            const auto root = data.root_progress(1);
            for (const auto& scan : context.open(data, root)) {
                if (scan.scan_type.ms_level != 1)
                    continue;
                minutes.push_back(scan.retention_time / 60.0);
                // A file without totIonCurrent still has the peaks it sums.
                if (const auto tic = known_tic(scan)) {
                    current.push_back(*tic);
                    continue;
                }
                double sum = 0.0;
                const auto spectrum = data.spectrum(scan.label);
                for (const auto& peak : *spectrum->peaks)
                    sum += peak.intensity;
                current.push_back(sum);
                ++summed;
            }
        }
        std::string subtitle = fmt::format("{} MS1 scans", minutes.size());
        if (summed == minutes.size() && summed > 0)
            subtitle += ", summed from the peaks: the file gives no totIonCurrent";
        else if (summed > 0)
            subtitle += fmt::format(", {} summed from the peaks: the file gives no totIonCurrent "
                                    "for them",
                                    summed);
        const PlotText text{
            .title = fmt::format("{}  total ion current",
                                 std::filesystem::path(file).filename().string()),
            .subtitle = subtitle,
            .x_label = "retention time (min)",
            .y_label = "total ion current",
        };
        write_plot(output, svg_line_plot, minutes, current, text);
        status = 0;
    });
}

} // namespace orvohost::cli
