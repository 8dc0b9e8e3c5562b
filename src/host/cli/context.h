// What every subcommand shares: the loaded plug-in, the catalog, the
// options common to all, and the one way errors and events reach a person.
#pragma once

#include <host/output/listing.h>
#include <host/output/ordered_output.h>
#include <host/output/output_file.h>
#include <host/output/progress_bar.h>
#include <host/plot/svg_plot.h>
#include <host/select/peak_filter.h>
#include <host/select/scan_filter.h>
#include <host/session/catalog.h>
#include <host/session/data_file.h>
#include <host/session/plugin.h>

#include <CLI/CLI.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvohost::cli {

// Shown and listed levels: -q none, default error events (level 1), -v up
// to level 5, -vv up to 6, -vvv every event.
std::uint32_t level_limit(int verbose, bool quiet);

struct Options {
    std::string plugin_path;
    int verbose = 0;
    bool quiet = false;
    std::string format;     // table, tsv, json; empty: table on a terminal, else tsv
    std::string centroided; // yes, no or empty
    std::uint32_t first_label = 1;
    int jobs = 0; // threads to use; 0: one a core
    // Refuse what the plug-in refuses, as an engine would, rather than read
    // through a repaired copy.
    bool strict = false;
    std::string temp_dir; // of repaired copies; empty: $TMPDIR
};

// An option whose text `parse` reads into its place; what it cannot read
// (std::invalid_argument) ends the parse as a usage error naming the option.
CLI::Option* add_parsed(CLI::App& command, const std::string& name,
                        std::function<void(const std::string&)> parse, const std::string& help);

// The threads a command may use: -j, else one a core. Files read at once
// and the threads that turn spectra into text share them.
unsigned thread_budget(const Options& options);

// What a subcommand takes of the shared options, beyond -v, -q, --plugin,
// --first-label and --centroided, which every one takes.
enum SharedOptions : unsigned {
    READS = 0,
    LISTING = 1,   // --format table|tsv|json
    JOBS = 2,      // -j
    JSON_ONLY = 4, // --format json (or the default prose)
};

// Adds the shared options to a subcommand, so that its --help shows them
// and they may stand after its name.
void add_shared_options(CLI::App& command, Options& options, unsigned takes);

class Context {
public:
    Options options;

    // Loads the plug-in on first use; raises HostError.
    const Plugin& plugin();
    HostCatalog& catalog() { return host_catalog; }
    Format format() const;
    // The format of a listing written to `output` (as -o names it): without
    // --format, a file is written as TSV whatever standard output is.
    Format format(const std::string& output) const;
    // How an engine reads: a refused file stays refused.
    ReadOptions read_options() const;
    // How the reading subcommands read: a file refused for a cause repair
    // mends is read through a repaired copy, and the person told so,
    // unless --strict.
    ReadOptions reading_options();
    CopyPolicy copy_policy() const;

    // One line on standard error, "orvo-host: " first.
    void note(const std::string& line);
    // What went wrong with `file`, as a sentence: catalog text and status
    // code for the plug-in's errors, the description for other failures.
    std::string failure_text(const std::filesystem::path& file, std::exception_ptr error);
    // Notes the failure and, on a line of its own, the next step where one
    // helps: with --strict, the repair that makes a copy the reader opens.
    void report_failure(const std::filesystem::path& file, std::exception_ptr error);
    // The sentence of a plug-in event.
    std::string event_text(const PAL::MsgEvent& event);

    // Lists `data` with the options given; a file that does not state its
    // centroiding is read as profile spectra, and the person is told once.
    const std::vector<orvoeng::ScanRecord>& open(DataFile& data,
                                                 const PAL::SmartPtr<PAL::Progress>& parent);

    // An event handler that prints the events -v asks for and feeds the
    // progress bar, labelled with the file's name.
    EventHandler event_printer(const std::filesystem::path& file);

    ProgressBar& progress() { return bar; }
    // Set while several files are read at once: their progress is counted
    // in files, not drawn a file at a time.
    bool many_at_once = false;

private:
    HostCatalog host_catalog{default_catalog_dir()};
    std::unique_ptr<EventChannel> entry_events;
    std::unique_ptr<Plugin> loaded;
    ProgressBar bar{stderr, true};
};

// A file's share of output: what it prints and whether it read. Files are
// read one after another or, with -j, on threads, and their outputs are
// printed in the order of the arguments either way. A job that writes much
// calls pass_on() as it goes, so that its text is not held whole.
struct FileResult {
    std::string out;
    bool ok = true;
    OrderedSlot* slot = nullptr;
    // Threads of the budget left to this file for turning spectra into text.
    unsigned format_threads = 0;
    std::size_t index = 0; // of the file among the arguments

    void pass_on() {
        if (slot)
            slot->take_when_full(out);
    }
};

using FileJob = std::function<void(const std::filesystem::path& file, FileResult& result)>;

// Runs `job` for every file, up to `jobs` at once; a job's exception is
// reported as that file's failure. Prints the closing summary when there is
// more than one file. Returns the exit status: 0 when every file read.
int run_files(Context& context, const std::vector<std::string>& files, const FileJob& job,
              OutputFile& out);

// Reads `files` one after another for a listing that is one table over
// them all. One file's failure raises, as with a single file; with several,
// each failure is reported and the rest are read, and a closing line counts
// them. Returns 0 when every file read, else 1.
int each_file(Context& context, const std::vector<std::string>& files,
              const std::function<void(const std::string& file)>& read);

// The closing line of a command over several files: how many read.
void note_files_read(Context& context, std::size_t files, std::size_t failed);

// Scans the filters let through, of those they judged; a command whose
// filters let nothing through says so, since an empty output alone reads
// like a broken file.
struct FilterTally {
    std::uint64_t judged = 0;
    std::uint64_t passed = 0;
};
// "0 of N scans passed the filters", unless -q, when none of N passed.
// `file` names the file the count is of, when it is of one of several.
void note_when_none_passed(Context& context, const FilterTally& tally,
                           const std::string& file = {});

// A subcommand over FILE... whose files are each read by `job` and printed
// on standard output in argument order.
CLI::App* add_files_command(CLI::App& app, Context& context, int& status, const std::string& name,
                            const std::string& description, unsigned takes,
                            void (*job)(Context&, const std::filesystem::path&, FileResult&));

// Registration of each subcommand; each returns nothing and sets the
// command's callback, which stores the exit status in `status`.
void add_info(CLI::App& app, Context& context, int& status);
void add_scans(CLI::App& app, Context& context, int& status);
void add_spectrum(CLI::App& app, Context& context, int& status);
void add_dump(CLI::App& app, Context& context, int& status);
void add_mgf(CLI::App& app, Context& context, int& status);
void add_plot(CLI::App& app, Context& context, int& status);
void add_tic(CLI::App& app, Context& context, int& status);
void add_bpc(CLI::App& app, Context& context, int& status);
void add_xic(CLI::App& app, Context& context, int& status);
void add_check(CLI::App& app, Context& context, int& status);
void add_repair(CLI::App& app, Context& context, int& status);
#ifdef ORVO_HOST_MZML
void add_mzml(CLI::App& app, Context& context, int& status);
#endif

// -o of an export: `what` is written there instead of standard output,
// beside the target and renamed into place only when the command succeeds.
CLI::Option* add_output_option(CLI::App& command, std::string& path, const std::string& what);

// The filters of scans, judged from the listing: --ms-level, --scans,
// --rt, --charge. A text that is no range is a usage error that says why.
// --width and --height of a plot.
void add_plot_size(CLI::App& command, PlotSpec& spec);
// `levels` is the default of --ms-level for the help text, if it has one.
void add_scan_filter(CLI::App& command, ScanFilter& filter, const char* levels = nullptr);
// The filters of peaks: --mz, --min-intensity, --top.
void add_peak_filter(CLI::App& command, PeakFilter& filter);

// The FILE arguments and the scan filters of a subcommand that goes through
// the scans of its files.
struct ScanSelection {
    std::vector<std::string> files;
    ScanFilter filter;

    bool selects(const orvoeng::ScanRecord& scan) const { return filter.selects(scan); }
};
void add_scan_selection(CLI::App& command, ScanSelection& selection);

} // namespace orvohost::cli
