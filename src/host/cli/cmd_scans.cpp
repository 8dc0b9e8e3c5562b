// orvo-host scans FILE... [-o OUT]: one row per scan; with several files, one
// table over them all, its first column the file.
#include "context.h"

#include <host/output/scan_cells.h>

namespace orvohost::cli {

void add_scans(CLI::App& app, Context& context, int& status) {
    auto* command = app.add_subcommand(
        "scans", "List every scan with its header values; several files give one table");
    static ScanSelection selection;
    static std::string output;
    add_scan_selection(*command, selection);
    add_output_option(*command, output, "listing");
    add_shared_options(*command, context.options, LISTING);
    command->callback([&context, &status] {
        const bool many = selection.files.size() > 1;
        std::vector<Column> columns = scan_columns();
        if (many)
            columns.insert(columns.begin(), Column("file"));
        OutputFile out(output);
        const auto writer = make_row_writer(context.format(output), columns);
        std::string text;
        FilterTally tally;
        status = each_file(context, selection.files, [&](const std::string& file) {
            DataFile data(context.plugin(), file, context.event_printer(file));
            const std::vector<orvoeng::ScanRecord>* scans = nullptr;
            {
                const auto root = data.root_progress(1);
                scans = &context.open(data, root);
            }
            const ScanNumbers numbers = data.scan_numbers();
            const ScanTags& tags = data.scan_tags();
            tally.judged += scans->size();
            for (const auto& scan : *scans) {
                if (!selection.selects(scan))
                    continue;
                ++tally.passed;
                Row row = scan_row(scan, numbers, tags.of(scan.file_position));
                if (many)
                    row.insert(row.begin(), file);
                writer->row(row, text);
                out.write_when_full(text);
            }
        });
        writer->finish(text);
        out.write(text);
        // A run that failed leaves an earlier file of that name as it was.
        out.finish(status == 0);
        note_when_none_passed(context, tally);
    });
}

} // namespace orvohost::cli
