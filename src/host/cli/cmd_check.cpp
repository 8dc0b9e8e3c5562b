// orvo-host check FILE...: reads every scan and spectrum of each file, says
// in sentences what the plug-in noticed, verifies the file's <sha1>, and
// ends with a verdict per file; with --format json, one object a file.
#include "context.h"

#include <host/base/count_text.h>
#include <host/integrity/sha1_check.h>
#include <host/session/read_failure.h>
#include <host/session/record_values.h>

#include <ds/messages.h>

#include <pal/exception.h>
#include <pal/progress.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <future>
#include <map>
#include <system_error>

namespace orvohost::cli {

namespace {

using Json = nlohmann::ordered_json;

// Failures of single spectra shown in full; the rest are counted.
constexpr std::size_t SHOWN_FAILURES = 10;

struct ShownEvent {
    std::uint32_t id;
    std::uint32_t level;
    std::string sentence;
};

// What reading one file found.
struct Report {
    std::vector<ShownEvent> events;
    std::map<std::uint32_t, std::size_t> quiet_events; // id -> count, for levels not shown
    std::vector<std::string> spectrum_failures;        // the first SHOWN_FAILURES
    bool listed = false;
    bool profile_assumed = false;
    std::size_t scans = 0;
    std::string scan_mix;
    bool centroided = false;
    std::size_t spectra = 0;
    std::size_t peaks = 0;
    // Peaks the plug-in's m/z floor left out, and the spectra they were in.
    std::size_t under_floor = 0;
    std::size_t floored_spectra = 0;
    std::size_t failed = 0;
    std::string failure; // why the file could not be listed
    std::optional<std::uint32_t> status_code;
    // For a file an engine refuses: what a repaired copy mends when it
    // reads, every spectrum included; unset when no copy reads.
    std::optional<std::string> copy_mends;
    Sha1Result sha1;

    bool ok() const { return failure.empty() && failed == 0; }
};

std::string quiet_counts_text(const std::map<std::uint32_t, std::size_t>& counts) {
    std::string text;
    for (const auto& [id, count] : counts) {
        const bool one = count == 1;
        const std::string what = id == orvoeng::msg::SCAN_OFFSET.id
                                     ? (one ? "scan offset recorded" : "scan offsets recorded")
                                 : id == orvoeng::msg::PEAKS_READ.id
                                     ? (one ? "peak list delivered" : "peak lists delivered")
                                 : id == orvoeng::msg::CENTROID_STATE.id
                                     ? (one ? "centroiding report" : "centroiding reports")
                                     : message_name(id);
        text += fmt::format("{}{} {}", text.empty() ? "" : ", ", count, what);
    }
    return text;
}

std::string sha1_line(const Sha1Result& sha1) {
    switch (sha1.state) {
    case Sha1Result::MATCHES:
        return fmt::format("  sha1: matches ({})\n", sha1.computed);
    case Sha1Result::STALE:
        return fmt::format("  sha1: stale: the file states {}, its bytes give {} (many converters "
                           "leave it so; not a failure)\n",
                           sha1.stated, sha1.computed);
    case Sha1Result::UNREADABLE:
        return fmt::format("  sha1: not checked: {}\n", sha1.error);
    case Sha1Result::ABSENT:
        break;
    }
    return "  sha1: none in the file\n";
}

const char* sha1_state(const Sha1Result& sha1) {
    switch (sha1.state) {
    case Sha1Result::MATCHES:
        return "matches";
    case Sha1Result::STALE:
        return "stale";
    case Sha1Result::UNREADABLE:
        return "unreadable";
    case Sha1Result::ABSENT:
        break;
    }
    return "absent";
}

std::string verdict_text(const Report& report) {
    if (!report.failure.empty())
        return "FAILED: " + report.failure;
    if (report.failed)
        return fmt::format("FAILED: {} of {} spectra cannot be read", report.failed, report.scans);
    return "OK, every scan and spectrum reads";
}

// A refused file has a way forward only where a repaired copy reads.
std::string repair_hint(const Report& report) {
    if (!report.copy_mends)
        return {};
    return "a repaired copy reads (" + *report.copy_mends +
           "): orvo-host repair FILE -o COPY writes one, FILE itself left unchanged; the reading "
           "subcommands read through one unless --strict";
}

// The verdict stays the engine's; whether a repaired copy would read is
// what the person may do next.
std::optional<std::string> repaired_copy_mends(Context& context, const ReadFailure& failure) {
    if (!repair_may_mend(failure))
        return std::nullopt;
    try {
        const RepairedCopy copy(failure.file, context.copy_policy());
        DataFile data(context.plugin(), copy.path(), {});
        for (const auto& scan : data.open(context.read_options(), {}))
            data.spectrum(scan.label);
        return copy.mended();
    } catch (...) {
        return std::nullopt;
    }
}

void read_everything(Context& context, const std::filesystem::path& file, Report& report,
                     unsigned spare_threads) {
    // The digest reads the file on its own; with a thread to spare it does
    // so while the plug-in reads, and the check takes the longer of the two.
    std::future<Sha1Result> digest;
    if (spare_threads > 0) {
        try {
            digest = std::async(std::launch::async, [file] { return check_sha1(file); });
        } catch (const std::system_error&) {
            // No thread to be had: the digest is taken after the read.
        }
    }
    const std::uint32_t shown_levels = context.options.verbose > 0 ? 0xFFFFFFFF : 6;
    EventHandler progress = context.event_printer(file);
    EventHandler handler = [&](const PAL::Event& event) {
        if (event.kind != PAL::Event::MSG_EVENT)
            return progress(event);
        const auto& message = static_cast<const PAL::MsgEvent&>(event);
        if (event.level <= shown_levels)
            report.events.push_back({message.message.id, event.level, context.event_text(message)});
        else
            ++report.quiet_events[message.message.id];
    };

    DataFile data(context.plugin(), file, handler);
    auto root = data.root_progress(2);
    try {
        const auto& scans = data.open(context.read_options(), root);
        report.listed = true;
        report.profile_assumed = data.profile_assumed();
        report.scans = scans.size();
        root->step(1);
        {
            PAL::SmartPtr<PAL::Progress> node(
                new PAL::Progress(root, static_cast<std::uint32_t>(scans.size()), 1));
            for (const auto& scan : scans) {
                node->step(1);
                try {
                    report.peaks += data.spectrum(scan.label)->peaks->size();
                    report.under_floor += data.peaks_under_floor();
                    report.floored_spectra += data.peaks_under_floor() > 0 ? 1U : 0U;
                    ++report.spectra;
                } catch (...) {
                    if (++report.failed <= SHOWN_FAILURES)
                        report.spectrum_failures.push_back(
                            context.failure_text({}, std::current_exception()));
                }
            }
        }
        auto& source = data.source();
        report.scan_mix = scan_mix_text(source.get_scan_mix());
        report.centroided = source.is_centroided();
    } catch (const PAL::AppError& error) {
        report.status_code = error.code;
        report.failure = context.failure_text({}, std::current_exception());
        if (const auto* failure = dynamic_cast<const ReadFailure*>(&error);
            failure && !report.listed)
            report.copy_mends = repaired_copy_mends(context, *failure);
    } catch (...) {
        report.failure = context.failure_text({}, std::current_exception());
    }
    root.reset();
    report.sha1 = digest.valid() ? digest.get() : check_sha1(file);
}

std::string report_text(const std::filesystem::path& file, const Report& report) {
    std::string out = fmt::format("== {}\n", file.string());
    if (report.profile_assumed)
        out += "  note: the file does not state whether its spectra are centroided; they are read "
               "as profile spectra here (give --centroided yes or no to choose)\n";
    for (const ShownEvent& event : report.events)
        out += "  " + event.sentence + "\n";
    for (const std::string& failure : report.spectrum_failures)
        out += "  " + failure + "\n";
    if (report.failed > SHOWN_FAILURES)
        out += fmt::format("  ... and {} more spectra that cannot be read\n",
                           report.failed - SHOWN_FAILURES);
    if (report.listed)
        out += fmt::format(
            "  {} listed ({}, {}), {} read with {}\n", counted(report.scans, "scan", "scans"),
            report.scan_mix, report.centroided ? "centroided" : "profile",
            counted(report.spectra, "spectrum", "spectra"), counted(report.peaks, "peak", "peaks"));
    if (report.under_floor > 0)
        out += fmt::format("  the m/z floor left out {} of {}; the reader reads no peak at or "
                           "under it\n",
                           counted(report.under_floor, "peak", "peaks"),
                           counted(report.floored_spectra, "spectrum", "spectra"));
    if (!report.quiet_events.empty())
        out += "  " + quiet_counts_text(report.quiet_events) + " (-v lists them)\n";
    out += sha1_line(report.sha1);
    out += "  verdict: " + verdict_text(report) + "\n";
    if (const std::string hint = repair_hint(report); !hint.empty())
        out += "  hint: " + hint + "\n";
    return out;
}

std::string report_json(const std::filesystem::path& file, const Report& report) {
    Json object;
    object["file"] = file.string();
    object["verdict"] = report.ok() ? "ok" : "failed";
    object["reason"] = report.ok() ? Json(nullptr) : Json(verdict_text(report).substr(8));
    object["status_code"] =
        report.status_code ? Json(fmt::format("0x{:08X}", *report.status_code)) : Json(nullptr);
    object["scans_listed"] = report.listed ? Json(report.scans) : Json(nullptr);
    object["spectra_read"] = report.spectra;
    object["spectra_failed"] = report.failed;
    object["peaks"] = report.peaks;
    object["peaks_under_mz_floor"] = report.under_floor;
    object["centroided"] = report.listed ? Json(report.centroided) : Json(nullptr);
    object["centroiding_stated"] = report.listed ? Json(!report.profile_assumed) : Json(nullptr);
    object["sha1"] = sha1_state(report.sha1);
    auto events = Json::array();
    for (const ShownEvent& event : report.events)
        events.push_back(Json{
            {"id", message_name(event.id)}, {"level", event.level}, {"sentence", event.sentence}});
    object["events"] = std::move(events);
    auto counts = Json::object();
    for (const auto& [id, count] : report.quiet_events)
        counts[message_name(id)] = count;
    object["quiet_event_counts"] = std::move(counts);
    const std::string hint = repair_hint(report);
    object["hint"] = hint.empty() ? Json(nullptr) : Json(hint);
    return object.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

void check_job(Context& context, const std::filesystem::path& file, FileResult& result) {
    Report report;
    read_everything(context, file, report, result.format_threads);
    result.ok = report.ok();
    result.out =
        context.format() == Format::JSON ? report_json(file, report) : report_text(file, report);
}

} // namespace

void add_check(CLI::App& app, Context& context, int& status) {
    add_files_command(
        app, context, status, "check",
        "Read every scan and spectrum, explain what the reader noticed, verify <sha1>", JSON_ONLY,
        check_job);
}

} // namespace orvohost::cli
