// orvo-host info FILE...: what a file says about its run, then what listing
// it finds.
#include "context.h"
#include "records.h"
#include "text.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace orvohost::cli {

namespace {

void info_job(Context& context, const std::filesystem::path& file, FileResult& result) {
    DataFile data(context.plugin(), file, context.event_printer(file));
    const RunInfo run = data.peek();
    std::vector<std::pair<std::string, std::string>> fields;
    for (const auto& [key, value] : run.instrument)
        fields.emplace_back(info_key_name(key), utf8(value));
    fields.emplace_back("CompletionTime",
                        run.completion_time ? iso8601_utc(*run.completion_time) : "none");

    // The listing may fail where the peek passed; what was learnt is kept.
    std::string failure;
    try {
        data.open(context.read_options(), {});
        auto& source = data.source();
        fields.emplace_back("ScanCount", std::to_string(source.get_scan_count()));
        fields.emplace_back("ScanMix", scan_mix_text(source.get_scan_mix()));
        fields.emplace_back("Centroided", source.is_centroided() ? "yes" : "no");
    } catch (...) {
        failure = context.failure_text(file, std::current_exception());
        result.ok = false;
    }

    if (context.format() == Format::JSON) {
        nlohmann::ordered_json object;
        for (const auto& [name, value] : fields) {
            auto& slot = object[name];
            if (slot.is_null())
                slot = value;
            else if (slot.is_array())
                slot.push_back(value);
            else
                slot = nlohmann::ordered_json::array({slot, value});
        }
        if (!failure.empty())
            object["Error"] = failure;
        result.out += object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    } else {
        const auto writer = make_row_writer(context.format(), {"field", "value"});
        for (const auto& [name, value] : fields)
            writer->row({name, value}, result.out);
        writer->finish(result.out);
    }
    if (!failure.empty())
        context.note(failure);
}

} // namespace

void add_info(CLI::App& app, Context& context, int& status) {
    add_files_command(
        app, context, status, "info",
        "Show a file's instrument, completion time, scan count, scan mix and centroiding",
        info_job);
}

} // namespace orvohost::cli
