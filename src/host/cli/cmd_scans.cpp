// orvo-host scans FILE: one row per scan.
#include "context.h"

#include <host/output/scan_cells.h>

namespace orvohost::cli {

void add_scans(CLI::App& app, Context& context, int& status) {
    auto* command = app.add_subcommand("scans", "List every scan with its header values");
    static ScanSelection selection;
    add_scan_selection(*command, selection);
    add_shared_options(*command, context.options, LISTING);
    command->callback([&context, &status] {
        DataFile data(context.plugin(), selection.file, context.event_printer(selection.file));
        const std::vector<orvoeng::ScanRecord>* scans = nullptr;
        {
            const auto root = data.root_progress(1);
            scans = &context.open(data, root);
        }
        OutputFile out("");
        const ScanNumbers numbers = data.scan_numbers();
        const auto writer = make_row_writer(context.format(), scan_columns());
        std::string text;
        for (const auto& scan : *scans) {
            if (!selection.selects(scan))
                continue;
            writer->row(scan_row(scan, numbers), text);
            out.write_when_full(text);
        }
        writer->finish(text);
        out.write(text);
        out.commit();
        status = 0;
    });
}

} // namespace orvohost::cli
