// orvo-host check FILE...: reads every scan and spectrum of each file, says
// in sentences what the plug-in noticed, verifies the file's <sha1>, and
// ends with a verdict per file.
#include "context.h"
#include "records.h"
#include "sha1_check.h"

#include <ds/messages.h>

#include <pal/exception.h>
#include <pal/progress.h>

#include <fmt/format.h>

namespace orvohost::cli {

namespace {

// Failures of single spectra shown in full; the rest are counted.
constexpr std::size_t SHOWN_FAILURES = 10;

struct Tally {
    std::size_t spectra = 0;
    std::size_t peaks = 0;
    std::size_t failed = 0;
    std::map<std::uint32_t, std::size_t> quiet_events; // id -> count, for levels not shown
};

std::string sha1_line(const std::filesystem::path& file) {
    const Sha1Result sha1 = check_sha1(file);
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

void check_job(Context& context, const std::filesystem::path& file, FileResult& result) {
    std::string& out = result.out;
    out += fmt::format("== {}\n", file.string());
    Tally tally;
    const std::uint32_t shown_levels = context.options.verbose > 0 ? 0xFFFFFFFF : 6;
    EventHandler progress = context.event_printer(file);
    EventHandler handler = [&](const PAL::Event& event) {
        if (event.kind != PAL::Event::MSG_EVENT)
            return progress(event);
        const auto& message = static_cast<const PAL::MsgEvent&>(event);
        if (event.level <= shown_levels)
            out += "  " + context.event_text(message) + "\n";
        else
            ++tally.quiet_events[message.message.id];
    };

    ReadOptions options = context.read_options();
    auto data = std::make_unique<DataFile>(context.plugin(), file, handler);
    auto root = data->root_progress(2);
    const std::vector<orvoeng::ScanRecord>* scans = nullptr;
    std::string verdict;
    try {
        try {
            scans = &data->open(options, root);
        } catch (const PAL::AppError& error) {
            if (error.code != orvoeng::msg::CENTROIDING_UNKNOWN.code || options.centroided)
                throw;
            // Every scan was read; only the centroiding is the user's call.
            out += "  note: the file does not state whether its spectra are centroided; they "
                   "are read as profile spectra here (give --centroided yes or no to choose)\n";
            options.centroided = false;
            root.reset();
            data = std::make_unique<DataFile>(context.plugin(), file, handler);
            root = data->root_progress(2);
            scans = &data->open(options, root);
        }
        root->step(1);
        {
            PAL::SmartPtr<PAL::Progress> node(
                new PAL::Progress(root, static_cast<std::uint32_t>(scans->size()), 1));
            for (const auto& scan : *scans) {
                node->step(1);
                try {
                    tally.peaks += data->spectrum(scan.label)->peaks->size();
                    ++tally.spectra;
                } catch (...) {
                    if (++tally.failed <= SHOWN_FAILURES)
                        out += "  " + context.failure_text({}, std::current_exception()) + "\n";
                }
            }
        }
        if (tally.failed > SHOWN_FAILURES)
            out += fmt::format("  ... and {} more spectra that cannot be read\n",
                               tally.failed - SHOWN_FAILURES);
        auto& source = data->source();
        out += fmt::format("  {} scans listed ({}, {}), {} spectra read with {} peaks\n",
                           scans->size(), scan_mix_text(source.get_scan_mix()),
                           source.is_centroided() ? "centroided" : "profile", tally.spectra,
                           tally.peaks);
        if (tally.failed)
            verdict =
                fmt::format("FAILED: {} of {} spectra cannot be read", tally.failed, scans->size());
    } catch (...) {
        verdict = "FAILED: " + context.failure_text({}, std::current_exception());
    }
    root.reset();
    if (!tally.quiet_events.empty()) {
        std::string counts;
        for (const auto& [id, count] : tally.quiet_events) {
            const auto* def = orvoeng::msg::find(id);
            const bool one = count == 1;
            const std::string what = id == orvoeng::msg::SCAN_OFFSET.id
                                         ? (one ? "scan offset recorded" : "scan offsets recorded")
                                     : id == orvoeng::msg::PEAKS_READ.id
                                         ? (one ? "peak list delivered" : "peak lists delivered")
                                     : id == orvoeng::msg::CENTROID_STATE.id
                                         ? (one ? "centroiding report" : "centroiding reports")
                                         : std::string(def ? def->name : "other notices");
            counts += fmt::format("{}{} {}", counts.empty() ? "" : ", ", count, what);
        }
        out += "  " + counts + " (-v lists them)\n";
    }
    out += sha1_line(file);
    result.ok = verdict.empty();
    out +=
        "  verdict: " + (result.ok ? std::string("OK, every scan and spectrum reads") : verdict) +
        "\n";
}

} // namespace

void add_check(CLI::App& app, Context& context, int& status) {
    add_files_command(
        app, context, status, "check",
        "Read every scan and spectrum, explain what the reader noticed, verify <sha1>", check_job);
}

} // namespace orvohost::cli
