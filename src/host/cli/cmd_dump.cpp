// orvo-host dump FILE... [-o OUT.jsonl]: every scan and its peaks as JSON
// Lines; with several files, each line names its file.
#include "context.h"
#include "feed_spectra.h"

#include <host/output/parallel_format.h>
#include <host/output/scan_cells.h>

namespace orvohost::cli {

void add_dump(CLI::App& app, Context& context, int& status) {
    auto* command = app.add_subcommand(
        "dump", "Write every scan with its header values and peaks as JSON Lines");
    static ScanSelection selection;
    static PeakFilter peaks;
    static std::string output;
    add_scan_selection(*command, selection);
    add_output_option(*command, output, "JSON Lines file");
    add_peak_filter(*command, peaks);
    add_shared_options(*command, context.options, JOBS);
    command->callback([&context, &status] {
        const bool many = selection.files.size() > 1;
        OutputFile out(output);
        FilterTally tally;
        bool spectrum_failed = false;
        status = each_file(context, selection.files, [&](const std::string& file) {
            DataFile data(context.plugin(), file, context.event_printer(file));
            const auto root = data.root_progress(2);
            const auto& scans = context.open(data, root);
            root->step(1);
            // One thread of the budget fetches; the others write JSON.
            const ScanNumbers numbers = data.scan_numbers();
            const ScanTags tags = data.scan_tags();
            const std::string named = many ? file : std::string();
            TextPipeline pipeline(
                thread_budget(context.options) - 1,
                [&numbers, &tags, &named](std::string& text, const orvoeng::ScanRecord& scan,
                                          const orvoeng::Spectrum* spectrum) {
                    append_scan_json(text, scan, spectrum, numbers, tags.of(scan.file_position),
                                     named);
                },
                [&out](std::string& text) { out.write(text); });
            tally.judged += scans.size();
            {
                PAL::SmartPtr<PAL::Progress> node(
                    new PAL::Progress(root, static_cast<std::uint32_t>(scans.size()), 1));
                const SpectraFed fed = feed_spectra(
                    context, data, file, scans,
                    [](const orvoeng::ScanRecord& scan) { return selection.selects(scan); }, peaks,
                    *node, pipeline);
                tally.passed += fed.taken;
                spectrum_failed = spectrum_failed || !fed.all_read;
            }
            pipeline.finish();
        });
        if (spectrum_failed)
            status = 1;
        // A run that failed leaves an earlier file of that name as it was.
        out.finish(status == 0);
        note_when_none_passed(context, tally);
    });
}

} // namespace orvohost::cli
