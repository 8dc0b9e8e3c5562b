// orvo-host scans FILE: one row per scan.
#include "context.h"
#include "records.h"

namespace orvohost::cli {

void add_scans(CLI::App& app, Context& context, int& status) {
    auto* command = app.add_subcommand("scans", "List every scan with its header values");
    static std::string file;
    static int ms_level = 0;
    command->add_option("FILE", file, "mzXML file")->required();
    command->add_option("--ms-level", ms_level, "only scans of this MS level")
        ->check(CLI::Range(1, 16));
    command->callback([&context, &status] {
        DataFile data(context.plugin(), file, context.event_printer(file));
        const std::vector<orvoeng::ScanRecord>* scans = nullptr;
        {
            const auto root = data.root_progress(1);
            scans = &data.open(context.read_options(), root);
        }
        OutputFile out("");
        const auto writer = make_row_writer(context.format(), scan_columns());
        std::string text;
        for (const auto& scan : *scans) {
            if (ms_level != 0 && scan.scan_type.ms_level != ms_level)
                continue;
            writer->row(scan_row(scan), text);
            if (text.size() > (1u << 20)) {
                out.write(text);
                text.clear();
            }
        }
        writer->finish(text);
        out.write(text);
        out.close();
        status = 0;
    });
}

} // namespace orvohost::cli
