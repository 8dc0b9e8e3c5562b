// orvo-host dump FILE: every scan and its peaks as JSON Lines.
#include "context.h"

#include <host/output/parallel_format.h>
#include <host/output/scan_cells.h>

namespace orvohost::cli {

void add_dump(CLI::App& app, Context& context, int& status) {
    auto* command = app.add_subcommand(
        "dump", "Write every scan with its header values and peaks as JSON Lines");
    static ScanSelection selection;
    static PeakFilter peaks;
    add_scan_selection(*command, selection);
    add_peak_filter(*command, peaks);
    add_shared_options(*command, context.options, JOBS);
    command->callback([&context, &status] {
        const std::string& file = selection.file;
        DataFile data(context.plugin(), file, context.event_printer(file));
        const auto root = data.root_progress(2);
        const auto& scans = context.open(data, root);
        root->step(1);
        OutputFile out("");
        status = 0;
        // One thread of the budget fetches; the others write JSON.
        const ScanNumbers numbers = data.scan_numbers();
        TextPipeline pipeline(
            thread_budget(context.options) - 1,
            [&numbers](std::string& text, const orvoeng::ScanRecord& scan,
                       const orvoeng::Spectrum* spectrum) {
                append_scan_json(text, scan, spectrum, numbers);
            },
            [&out](std::string& text) { out.write(text); });
        {
            PAL::SmartPtr<PAL::Progress> node(
                new PAL::Progress(root, static_cast<std::uint32_t>(scans.size()), 1));
            for (const auto& scan : scans) {
                node->step(1);
                if (!selection.selects(scan))
                    continue;
                PAL::SmartPtr<orvoeng::Spectrum> spectrum;
                try {
                    spectrum = data.spectrum(scan.label);
                    peaks.apply_to(*spectrum);
                } catch (...) {
                    context.note(context.failure_text(file, std::current_exception()));
                    status = 1;
                    continue;
                }
                pipeline.add(scan, std::move(spectrum));
            }
        }
        pipeline.finish();
        out.commit();
    });
}

} // namespace orvohost::cli
