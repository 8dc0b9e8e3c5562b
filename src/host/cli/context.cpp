#include "context.h"

#include <host/base/count_text.h>
#include <host/session/read_failure.h>
#include <host/session/utf8_text.h>

#include <pal/exception.h>
#include <pal/progress.h>

#include <fmt/format.h>

#include <algorithm>
#include <thread>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace orvohost::cli {

std::uint32_t level_limit(int verbose, bool quiet) {
    if (quiet)
        return 0;
    switch (verbose) {
    case 0:
        return 1;
    case 1:
        return 5;
    case 2:
        return 6;
    default:
        return 0xFFFFFFFF;
    }
}

const Plugin& Context::plugin() {
    if (!loaded) {
        const std::filesystem::path path = options.plugin_path.empty()
                                               ? default_plugin_path()
                                               : std::filesystem::path(options.plugin_path);
        entry_events = std::make_unique<EventChannel>(event_printer(path));
        loaded = std::make_unique<Plugin>(path, entry_events->socket());
    }
    return *loaded;
}

Format Context::format() const {
    if (options.format == "tsv")
        return Format::TSV;
    if (options.format == "json")
        return Format::JSON;
    if (options.format == "table")
        return Format::TABLE;
    return ::isatty(STDOUT_FILENO) == 1 ? Format::TABLE : Format::TSV;
}

Format Context::format(const std::string& output) const {
    if (options.format.empty() && !output.empty() && output != "-")
        return Format::TSV;
    return format();
}

ReadOptions Context::read_options() const {
    ReadOptions read;
    read.first_label = options.first_label;
    if (!options.centroided.empty())
        read.centroided = options.centroided == "yes";
    return read;
}

void Context::note(const std::string& line) {
    bar.interrupt();
    fmt::print(stderr, "orvo-host: {}\n", line);
    std::fflush(stderr);
}

std::string Context::event_text(const PAL::MsgEvent& event) {
    return message_sentence(host_catalog, event.message);
}

CopyPolicy Context::copy_policy() const {
    CopyPolicy policy;
    policy.folder = options.temp_dir;
    policy.threads = thread_budget(options);
    return policy;
}

ReadOptions Context::reading_options() {
    ReadOptions read = read_options();
    if (options.strict)
        return read;
    read.repaired_copy = copy_policy();
    // -q shows nothing on success; a file read through a copy is a success.
    if (!options.quiet)
        read.on_repaired = [this](const std::filesystem::path& file, const std::string& mended) {
            note(file.string() + ": read through a repaired copy: " + mended);
        };
    return read;
}

void Context::report_failure(const std::filesystem::path& file, std::exception_ptr error) {
    note(failure_text(file, error));
    try {
        std::rethrow_exception(error);
    } catch (const ReadFailure& failure) {
        if (options.strict && repair_may_mend(failure))
            note(fmt::format("{}: orvo-host repair {} -o COPY writes a copy the reader opens; "
                             "without --strict it is read through one",
                             failure.file.string(), failure.file.string()));
    } catch (...) {
    }
}

const std::vector<orvoeng::ScanRecord>& Context::open(DataFile& data,
                                                      const PAL::SmartPtr<PAL::Progress>& parent) {
    const auto& scans = data.open(reading_options(), parent);
    if (data.profile_assumed() && !options.quiet)
        note(data.path().filename().string() +
             ": the file does not state whether its spectra are centroided; they are read as "
             "profile spectra (give --centroided yes or no to choose)");
    return scans;
}

std::string Context::failure_text(const std::filesystem::path& file, std::exception_ptr error) {
    std::string text;
    try {
        std::rethrow_exception(error);
    } catch (const PAL::AppError& e) {
        return failure_sentence(host_catalog, e, file);
    } catch (const PAL::Exception& e) {
        text = utf8(e.description());
    } catch (const std::bad_alloc&) {
        text = "out of memory";
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
        text = "unknown failure";
    }
    // The sentence names the file where the catalog text has the path.
    const std::string name = file.string();
    if (name.empty() || text.find(name) != std::string::npos)
        return text;
    return name + ": " + text;
}

EventHandler Context::event_printer(const std::filesystem::path& file) {
    const std::uint32_t limit = level_limit(options.verbose, options.quiet);
    const std::string label = file.filename().string();
    std::error_code unknown;
    std::uint64_t bytes = std::filesystem::file_size(file, unknown);
    if (unknown)
        bytes = 0;
    return [this, limit, label, bytes](const PAL::Event& event) {
        if (event.kind == PAL::Event::PROGRESS_EVENT) {
            const auto& progress = static_cast<const PAL::ProgressEvent&>(event);
            // With -j the bar is the files' count, which a file's end does
            // not close.
            if (options.quiet || many_at_once)
                return;
            if (progress.final)
                bar.finish();
            else
                bar.update(label, progress.percentage, bytes);
            return;
        }
        if (event.kind == PAL::Event::MSG_EVENT && event.level <= limit)
            note(label + ": " + event_text(static_cast<const PAL::MsgEvent&>(event)));
    };
}

void add_shared_options(CLI::App& command, Options& options, unsigned takes) {
    command.add_option("--plugin", options.plugin_path,
                       "the plug-in to load (default: the installed one, else the build's)");
    command.add_flag("-v,--verbose", options.verbose,
                     "show the plug-in's events on standard error; repeat for deeper levels");
    command.add_flag("-q,--quiet", options.quiet, "show no events and no progress");
    if (takes & LISTING)
        command
            .add_option("--format", options.format,
                        "listing format (default: table on a terminal, tsv otherwise)")
            ->check(CLI::IsMember({"table", "tsv", "json"}));
    if (takes & JSON_ONLY)
        command.add_option("--format", options.format, "json for one object a file")
            ->check(CLI::IsMember({"table", "json"}));
    command.add_option("--first-label", options.first_label, "label of the first scan (default 1)")
        ->check(CLI::Range(0u, 2147483637u));
    command
        .add_option("--centroided", options.centroided,
                    "for files that do not state it: whether the spectra are centroided "
                    "(default: read as profile)")
        ->check(CLI::IsMember({"yes", "no"}));
    command.add_flag("--strict", options.strict,
                     "refuse a file the plug-in refuses, as an engine would, instead of reading "
                     "it through a repaired copy");
    command.add_option("--temp-dir", options.temp_dir,
                       "folder of repaired copies (default: $TMPDIR, else the system's)");
    if (takes & JOBS)
        command
            .add_option("-j,--jobs", options.jobs,
                        "threads to use: files read at once, the rest turn spectra into text "
                        "(default: one a core)")
            ->check(CLI::Range(1, 256));
}

void note_when_none_passed(Context& context, const FilterTally& tally, const std::string& file) {
    if (tally.passed > 0 || tally.judged == 0 || context.options.quiet)
        return;
    context.note(fmt::format("{}0 of {} passed the filters", file.empty() ? "" : file + ": ",
                             counted(tally.judged, "scan", "scans")));
}

unsigned thread_budget(const Options& options) {
    if (options.jobs > 0)
        return static_cast<unsigned>(options.jobs);
    return std::max(1U, std::thread::hardware_concurrency());
}

CLI::Option* add_parsed(CLI::App& command, const std::string& name,
                        std::function<void(const std::string&)> parse, const std::string& help) {
    auto* option = command.add_option_function<std::string>(
        name,
        [name, parse](const std::string& text) {
            try {
                parse(text);
            } catch (const std::invalid_argument& e) {
                throw CLI::ValidationError(name, e.what());
            }
        },
        help);
    return option;
}

CLI::Option* add_output_option(CLI::App& command, std::string& path, const std::string& what) {
    return command.add_option("-o,--output", path,
                              fmt::format("{} to write (default: standard output); written beside "
                                          "it and renamed into place only when the command "
                                          "succeeds",
                                          what));
}

void add_scan_filter(CLI::App& command, ScanFilter& filter, const char* levels) {
    add_parsed(
        command, "--ms-level",
        [&filter](const std::string& text) { filter.ms_levels = parse_whole_ranges(text, 1, 16); },
        std::string("only scans of these MS levels, as 1,2 or 2-3") +
            (levels ? fmt::format(" (default {})", levels) : ""));
    add_parsed(
        command, "--scans",
        [&filter](const std::string& text) {
            filter.labels = parse_whole_ranges(text, 0, orvoeng::MAX_LABEL);
        },
        "only scans of these labels, as 10-20,25");
    add_parsed(
        command, "--rt",
        [&filter](const std::string& text) { filter.rt = parse_time_interval(text); },
        "only scans of a retention time in this range: A:B, A: or :B, in seconds (400 or 400s) "
        "or in minutes, as the chromatograms' axis shows them (105m:115m)");
    add_parsed(
        command, "--charge",
        [&filter](const std::string& text) { filter.charges = parse_whole_ranges(text, 1, 1000); },
        "only scans whose precursor has one of these charges (sign aside), as 2,3");
}

void add_peak_filter(CLI::App& command, PeakFilter& filter) {
    add_parsed(
        command, "--mz", [&filter](const std::string& text) { filter.mz = parse_interval(text); },
        "only peaks of an m/z in this range: A:B, A: or :B");
    add_parsed(
        command, "--min-intensity",
        [&filter](const std::string& text) { filter.min_intensity = parse_number(text); },
        "only peaks of at least this intensity");
    command.add_option("--top", filter.top, "only the N most intense peaks of each spectrum")
        ->check(CLI::Range(std::size_t{1}, std::size_t{100000000}));
}

void add_scan_selection(CLI::App& command, ScanSelection& selection) {
    command.add_option("FILE", selection.files, "mzXML files")->required();
    add_scan_filter(command, selection.filter);
}

} // namespace orvohost::cli
