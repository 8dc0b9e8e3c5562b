// orvo-host dump FILE: every scan and its peaks as JSON Lines.
#include "context.h"
#include "records.h"

namespace orvohost::cli {

void add_dump(CLI::App& app, Context& context, int& status) {
    auto* command = app.add_subcommand(
        "dump", "Write every scan with its header values and peaks as JSON Lines");
    static ScanSelection selection;
    static PeakFilter peaks;
    add_scan_selection(*command, selection);
    add_peak_filter(*command, peaks);
    add_shared_options(*command, context.options, READS);
    command->callback([&context, &status] {
        const std::string& file = selection.file;
        DataFile data(context.plugin(), file, context.event_printer(file));
        const auto root = data.root_progress(2);
        const auto& scans = context.open(data, root);
        root->step(1);
        OutputFile out("");
        status = 0;
        std::string text;
        {
            PAL::SmartPtr<PAL::Progress> node(
                new PAL::Progress(root, static_cast<std::uint32_t>(scans.size()), 1));
            for (const auto& scan : scans) {
                node->step(1);
                if (!selection.selects(scan))
                    continue;
                try {
                    const auto spectrum = data.spectrum(scan.label);
                    peaks.apply_to(*spectrum);
                    append_scan_json(text, scan, spectrum.get());
                } catch (...) {
                    context.note(context.failure_text(file, std::current_exception()));
                    status = 1;
                }
                out.write_when_full(text);
            }
        }
        out.write(text);
        out.commit();
    });
}

} // namespace orvohost::cli
