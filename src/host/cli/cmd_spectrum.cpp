// orvo-host spectrum FILE [LABEL...]: the peaks of the scans asked for, by
// label or by the scan filters, or both.
#include "context.h"

#include <host/base/count_text.h>
#include <host/output/scan_cells.h>
#include <host/session/record_values.h>

#include <fmt/format.h>

namespace orvohost::cli {

void add_spectrum(CLI::App& app, Context& context, int& status) {
    auto* command = app.add_subcommand(
        "spectrum",
        "Print the peaks of the scans with these labels, or of those the filters select");
    static std::string file;
    static std::vector<std::uint32_t> labels;
    static ScanFilter filter;
    static PeakFilter kept;
    command->add_option("FILE", file, "mzXML file")->required();
    command->add_option("LABEL", labels, "scan labels (default: the scans the filters select)");
    add_scan_filter(*command, filter);
    add_peak_filter(*command, kept);
    add_shared_options(*command, context.options, LISTING);
    command->callback([&context, &status] {
        // Every spectrum of a large run is what dump is for.
        if (labels.empty() && !filter.any())
            throw CLI::RequiredError("LABEL (or a scan filter such as --scans or --rt)");
        DataFile data(context.plugin(), file, context.event_printer(file));
        const auto& scans = context.open(data, {});
        std::vector<std::uint32_t> chosen;
        if (labels.empty()) {
            for (const auto& scan : scans)
                if (filter.selects(scan))
                    chosen.push_back(scan.label);
        } else {
            // A label the file lacks is fetched all the same, so that the
            // plug-in's sentence says why it failed.
            for (const std::uint32_t label : labels)
                if (const auto* scan = data.find(label); !scan || filter.selects(*scan))
                    chosen.push_back(label);
        }
        OutputFile out("");
        const Format format = context.format();
        status = 0;
        bool header = format == Format::TSV;
        for (const std::uint32_t label : chosen) {
            PAL::SmartPtr<orvoeng::Spectrum> spectrum;
            try {
                spectrum = data.spectrum(label);
                kept.apply_to(*spectrum);
            } catch (...) {
                // One bad label does not hide the others' peaks.
                context.note(context.failure_text(file, std::current_exception()));
                status = 1;
                continue;
            }
            const auto& peaks = *spectrum->peaks;
            std::string text;
            if (format == Format::JSON) {
                const orvoeng::ScanRecord* scan = data.find(label);
                append_scan_json(text, *scan, spectrum.get(), data.scan_numbers());
            } else if (format == Format::TSV) {
                // One header for the whole listing; peak values as short as exact.
                if (header)
                    text += "label\tkind\tmz\tintensity\n";
                header = false;
                const std::string head = fmt::format("{}\t{}\t", label, peak_kind_text(*spectrum));
                const auto write = single_precision(peaks) ? append_as_float : append_number;
                for (const auto& peak : peaks) {
                    text += head;
                    write(text, peak.mz);
                    text.push_back('\t');
                    write(text, peak.intensity);
                    text.push_back('\n');
                }
            } else {
                text = fmt::format("scan {}: {}, {}\n", label, peak_kind_text(*spectrum),
                                   counted(peaks.size(), "peak", "peaks"));
                const auto writer = make_row_writer(format, {"mz", "intensity"});
                for (const auto& peak : peaks)
                    writer->row({peak.mz, peak.intensity}, text);
                writer->finish(text);
            }
            out.write(text);
        }
        out.commit();
    });
}

} // namespace orvohost::cli
