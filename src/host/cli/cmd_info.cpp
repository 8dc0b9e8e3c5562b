// orvo-host info FILE...: what a file says about its run, then what listing
// it finds.
#include "context.h"
#include "records.h"
#include "text.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace orvohost::cli {

namespace {

using Json = nlohmann::ordered_json;

// A field's value as a table or TSV cell: words as they are, numbers and
// truth values as JSON writes them, nothing where the file gives nothing.
Cell field_cell(const Json& value) {
    if (value.is_null())
        return std::monostate{};
    if (value.is_string())
        return value.get<std::string>();
    if (value.is_number_integer())
        return value.get<std::int64_t>();
    return value.dump();
}

void info_job(Context& context, const std::filesystem::path& file, FileResult& result) {
    DataFile data(context.plugin(), file, context.event_printer(file));
    std::vector<std::pair<std::string, Json>> fields;
    fields.emplace_back("file", file.string());
    // The listing may fail where the peek passed, or the peek already; what
    // was learnt is kept.
    std::string failure;
    try {
        const RunInfo run = data.peek();
        for (const auto& [key, value] : run.instrument)
            fields.emplace_back(info_key_name(key), utf8(value));
        fields.emplace_back("completion_time", run.completion_time
                                                   ? Json(iso8601_utc(*run.completion_time))
                                                   : Json(nullptr));
        context.open(data, {});
        auto& source = data.source();
        fields.emplace_back("scan_count", source.get_scan_count());
        fields.emplace_back("scan_mix", scan_mix_text(source.get_scan_mix()));
        fields.emplace_back("centroided", source.is_centroided());
        fields.emplace_back("centroiding_stated", !data.profile_assumed());
    } catch (...) {
        failure = context.failure_text(file, std::current_exception());
        result.ok = false;
    }

    if (context.format() == Format::JSON) {
        Json object = Json::object();
        for (const auto& [name, value] : fields) {
            auto& slot = object[name];
            // A key the file gives more than once (detail) becomes a list.
            if (slot.is_null())
                slot = value;
            else if (slot.is_array())
                slot.push_back(value);
            else
                slot = Json::array({slot, value});
        }
        object["error"] = failure.empty() ? Json(nullptr) : Json(failure);
        result.out += object.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
    } else if (fields.size() > 1) {
        // A file of which nothing was learnt has no rows; JSON still gives
        // its object, so that a folder of runs is one table.
        const auto writer = make_row_writer(context.format(), {"field", "value"});
        for (const auto& [name, value] : fields)
            writer->row({name, field_cell(value)}, result.out);
        writer->finish(result.out);
    }
    if (!failure.empty())
        context.note(failure);
}

} // namespace

void add_info(CLI::App& app, Context& context, int& status) {
    add_files_command(
        app, context, status, "info",
        "Show a file's instrument, completion time, scan count, scan mix and centroiding", LISTING,
        info_job);
}

} // namespace orvohost::cli
