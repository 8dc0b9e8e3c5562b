// orvo-host info FILE...: what a file says about its run, what its listing
// holds and, with --stats, what its spectra hold. In TSV and JSON one row
// (one object) a file, so that a folder of runs reads as one table.
#include "context.h"

#include <host/output/scan_cells.h>
#include <host/plot/run_summary.h>
#include <host/session/record_values.h>
#include <host/session/run_facts.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>

namespace orvohost::cli {

namespace {

using Json = nlohmann::ordered_json;

bool with_stats = false;

// The columns of a TSV row, whatever a file gives: the run's facts, the
// listing's, then the spectra's.
std::vector<Column> info_columns() {
    std::vector<Column> columns{
        "file",           "file_name",      "instrument",         "mass_analyzer",
        "operator",       "detail",         "completion_time",    "scan_count",
        "scan_mix",       "centroided",     "centroiding_stated", "spectra_per_ms_level",
        "rt_min_seconds", "rt_max_seconds", "precursor_mz_min",   "precursor_mz_max",
        "charges"};
    if (with_stats)
        for (const char* name :
             {"peaks_total", "peaks_min", "peaks_median", "peaks_max", "mz_min", "mz_max",
              "intensity_min", "intensity_max", "peak_kind", "peaks_under_mz_floor"})
            columns.emplace_back(name);
    columns.emplace_back("error");
    return columns;
}

// A field's value as a table or TSV cell: words as they are, numbers as
// numbers, truth values as JSON writes them, counts as "key:count ...",
// nothing where the file gives nothing.
Cell field_cell(const Json& value) {
    if (value.is_null())
        return std::monostate{};
    if (value.is_string())
        return value.get<std::string>();
    if (value.is_number_integer())
        return value.get<std::int64_t>();
    if (value.is_number_float())
        return value.get<double>();
    if (value.is_object()) {
        std::string text;
        for (const auto& [key, count] : value.items())
            text += fmt::format("{}{}:{}", text.empty() ? "" : " ", key, count.dump());
        return text;
    }
    if (value.is_array()) {
        std::string text;
        for (const auto& item : value)
            text += (text.empty() ? "" : "; ") +
                    (item.is_string() ? item.get<std::string>() : item.dump());
        return text;
    }
    return value.dump();
}

Json counts_json(const std::map<std::int32_t, std::uint64_t>& counts, const char* zero) {
    Json object = Json::object();
    for (const auto& [key, count] : counts)
        object[key == 0 ? std::string(zero) : std::to_string(key)] = count;
    return object;
}

// Peak values of a 32-bit file are floats, widened: they are given with the
// float's digits, as every other output gives them.
Json range_end(const std::optional<ValueRange>& range, bool high) {
    if (!range)
        return nullptr;
    const double value = high ? range->hi : range->lo;
    if (!is_single(value))
        return value;
    std::string text;
    append_as_float(text, value);
    return std::strtod(text.c_str(), nullptr);
}

void add_summary(std::vector<std::pair<std::string, Json>>& fields, const RunSummary& summary) {
    fields.emplace_back("spectra_per_ms_level", counts_json(summary.spectra_per_level, "0"));
    fields.emplace_back("rt_min_seconds", range_end(summary.rt, false));
    fields.emplace_back("rt_max_seconds", range_end(summary.rt, true));
    fields.emplace_back("precursor_mz_min", range_end(summary.precursor_mz, false));
    fields.emplace_back("precursor_mz_max", range_end(summary.precursor_mz, true));
    fields.emplace_back("charges", counts_json(summary.charges, "none"));
}

void add_peak_summary(std::vector<std::pair<std::string, Json>>& fields,
                      const RunSummary& summary) {
    const bool read = summary.spectra_read();
    fields.emplace_back("peaks_total", summary.total_peaks);
    fields.emplace_back("peaks_min", read ? Json(summary.fewest_peaks()) : Json(nullptr));
    const double median = summary.median_peaks();
    fields.emplace_back("peaks_median", !read                          ? Json(nullptr)
                                        : median == std::floor(median) ? Json(std::llround(median))
                                                                       : Json(median));
    fields.emplace_back("peaks_max", read ? Json(summary.most_peaks()) : Json(nullptr));
    fields.emplace_back("mz_min", range_end(summary.mz, false));
    fields.emplace_back("mz_max", range_end(summary.mz, true));
    fields.emplace_back("intensity_min", range_end(summary.intensity, false));
    fields.emplace_back("intensity_max", range_end(summary.intensity, true));
    fields.emplace_back("peak_kind", read ? Json(summary.peak_kind()) : Json(nullptr));
}

// The run's facts in the order every output form gives them; a field the
// file does not give is there, empty.
void add_facts(std::vector<std::pair<std::string, Json>>& fields, const RunFacts& facts) {
    const auto text = [](const std::optional<std::string>& value) {
        return value ? Json(*value) : Json(nullptr);
    };
    fields.emplace_back("file_name", text(facts.file_name));
    fields.emplace_back("operator", text(facts.operator_name));
    fields.emplace_back("instrument", text(facts.instrument));
    fields.emplace_back("mass_analyzer", text(facts.mass_analyzer));
    if (facts.details.empty())
        fields.emplace_back("detail", nullptr);
    for (const std::string& detail : facts.details)
        fields.emplace_back("detail", detail);
}

void info_job(Context& context, const std::filesystem::path& file, FileResult& result) {
    DataFile data(context.plugin(), file, context.event_printer(file));
    std::vector<std::pair<std::string, Json>> fields;
    fields.emplace_back("file", file.string());
    // The listing may fail where the peek passed, or the peek already; what
    // was learnt is kept.
    std::string failure;
    try {
        const RunInfo run = data.peek(context.reading_options());
        const RunHead head = read_run_head(file);
        add_facts(fields, run_facts(run.instrument, head));
        fields.emplace_back("completion_time", run.completion_time
                                                   ? Json(iso8601_utc(*run.completion_time))
                                                   : Json(nullptr));
        const auto root = data.root_progress(with_stats ? 2 : 1);
        const auto& scans = context.open(data, root);
        root->step(1);
        auto& source = data.source();
        fields.emplace_back("scan_count", source.get_scan_count());
        fields.emplace_back("scan_mix", scan_mix_text(source.get_scan_mix()));
        const std::size_t centroided = fields.size();
        const auto listed =
            listed_centroiding(source.is_centroided(), head, !context.options.centroided.empty(),
                               data.profile_assumed());
        fields.emplace_back("centroided", listed ? Json(*listed) : Json(nullptr));
        fields.emplace_back("centroiding_stated", !data.profile_assumed());
        RunSummary summary;
        for (const auto& scan : scans)
            summary.add_scan(scan);
        add_summary(fields, summary);
        if (with_stats) {
            PAL::SmartPtr<PAL::Progress> node(
                new PAL::Progress(root, static_cast<std::uint32_t>(scans.size()), 1));
            std::uint64_t under_floor = 0;
            for (const auto& scan : scans) {
                node->step(1);
                summary.add_spectrum(scan, *data.spectrum(scan.label));
                under_floor += data.peaks_under_floor();
            }
            add_peak_summary(fields, summary);
            fields.emplace_back("peaks_under_mz_floor", under_floor);
            // Once the spectra are read, the answer is theirs, as peak_kind
            // gives it: true or false for a whole run of one kind.
            if (summary.spectra_read()) {
                const auto kind = summary.all_centroided();
                fields[centroided].second = kind ? Json(*kind) : Json(nullptr);
            }
        }
    } catch (...) {
        failure = context.failure_text(file, std::current_exception());
        result.ok = false;
    }

    const Format format = context.format();
    if (format == Format::JSON) {
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
    } else if (format == Format::TSV) {
        const std::vector<Column> columns = info_columns();
        Row row;
        for (const Column& column : columns) {
            Json value;
            for (const auto& [name, given] : fields)
                if (name != column.name)
                    continue;
                else if (value.is_null())
                    value = given;
                else if (value.is_array())
                    value.push_back(given);
                else
                    value = Json::array({value, given});
            if (column.name == "error" && !failure.empty())
                value = failure;
            row.push_back(field_cell(value));
        }
        // One header for all files: the first file's rows carry it.
        std::string text;
        make_row_writer(Format::TSV, columns)->row(row, text);
        if (result.index != 0)
            text.erase(0, text.find('\n') + 1);
        result.out += text;
    } else if (fields.size() > 1) {
        // A file of which nothing was learnt has no rows in a table; TSV and
        // JSON still give its row, so that a folder of runs is one table.
        const auto writer = make_row_writer(format, {"field", "value"});
        for (const auto& [name, value] : fields)
            writer->row({name, field_cell(value)}, result.out);
        writer->finish(result.out);
    }
    if (!failure.empty())
        context.note(failure);
}

} // namespace

void add_info(CLI::App& app, Context& context, int& status) {
    auto* command = add_files_command(
        app, context, status, "info",
        "Summarise each file: the file it was converted from, operator, instrument, scans per MS "
        "level, retention-time and precursor ranges, charges (with --stats, peaks too)",
        LISTING, info_job);
    command->add_flag("--stats", with_stats,
                      "also read every spectrum: peak counts (total, min, median, max), m/z and "
                      "intensity ranges, centroided or profile as the peaks show it per MS level, "
                      "peaks the m/z floor left out");
}

} // namespace orvohost::cli
