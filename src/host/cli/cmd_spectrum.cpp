// orvo-host spectrum FILE LABEL...: the peaks of the scans asked for.
#include "context.h"
#include "records.h"

#include <fmt/format.h>

namespace orvohost::cli {

void add_spectrum(CLI::App& app, Context& context, int& status) {
    auto* command =
        app.add_subcommand("spectrum", "Print the peaks of the scans with these labels");
    static std::string file;
    static std::vector<std::uint32_t> labels;
    command->add_option("FILE", file, "mzXML file")->required();
    command->add_option("LABEL", labels, "scan labels")->required();
    add_shared_options(*command, context.options, LISTING);
    command->callback([&context, &status] {
        DataFile data(context.plugin(), file, context.event_printer(file));
        context.open(data, {});
        OutputFile out("");
        const Format format = context.format();
        status = 0;
        for (const std::uint32_t label : labels) {
            PAL::SmartPtr<orvoeng::Spectrum> spectrum;
            try {
                spectrum = data.spectrum(label);
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
                append_scan_json(text, *scan, spectrum.get());
            } else if (format == Format::TSV) {
                // One header for the whole listing; peak values as short as exact.
                if (label == labels.front())
                    text += "label\tkind\tmz\tintensity\n";
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
                text = fmt::format("scan {}: {}, {} peaks\n", label, peak_kind_text(*spectrum),
                                   peaks.size());
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
