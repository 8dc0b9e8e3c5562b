// orvo-host: loads the mzXML data-source plug-in as an engine does and lets
// a person look into, check, export and plot mzXML 2.x files.
//
// Exit status: 0 when everything read, 1 when a file or spectrum failed or
// the host could not do its job, 2 for a usage error.
#include "context.h"

#include <fmt/format.h>

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    using namespace orvohost::cli;
    Context context;
    int status = 0;

    CLI::App app{"Read mzXML 2.0 and 2.1 peak-list files through the orvo data-source plug-in.",
                 "orvo-host"};
    app.set_version_flag("--version", fmt::format("orvo-host {}", ORVO_VERSION));
    app.require_subcommand(1);
    app.fallthrough();
    // One syntax everywhere: CLI11 would take "/name" as an option on Windows,
    // where a path may start so.
    app.allow_windows_style_options(false);
    app.add_option("--plugin", context.options.plugin_path,
                   "the plug-in to load (default: liborvo_ds_mzxml.so beside orvo-host)");
    app.add_flag("-v,--verbose", context.options.verbose,
                 "show the plug-in's events on standard error; repeat for deeper levels");
    app.add_flag("-q,--quiet", context.options.quiet, "show no events and no progress");
    app.add_option("--format", context.options.format,
                   "listing format (default: table on a terminal, tsv otherwise)")
        ->check(CLI::IsMember({"table", "tsv", "json"}));
    app.add_option("--first-label", context.options.first_label,
                   "label of the first scan (default 1)")
        ->check(CLI::Range(0u, 2147483637u));
    app.add_option("--centroided", context.options.centroided,
                   "for files that do not state it: whether the spectra are centroided")
        ->check(CLI::IsMember({"yes", "no"}));
    app.add_option("-j,--jobs", context.options.jobs,
                   "files read at once by info, check and mgf (default 1)")
        ->check(CLI::Range(1, 256));

    add_info(app, context, status);
    add_scans(app, context, status);
    add_spectrum(app, context, status);
    add_dump(app, context, status);
    add_mgf(app, context, status);
    add_plot(app, context, status);
    add_tic(app, context, status);
    add_check(app, context, status);
    add_repair(app, context, status);

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& success) {
        return app.exit(success);
    } catch (const CLI::ParseError& error) {
        context.progress().finish();
        fmt::print(
            stderr,
            "orvo-host: {}\nusage: orvo-host [OPTIONS] SUBCOMMAND ... (see orvo-host --help)\n",
            error.what());
        return 2;
    } catch (...) {
        // Whatever the subcommand met, the person gets a sentence, never an abort.
        context.progress().finish();
        context.note(context.failure_text({}, std::current_exception()));
        return 1;
    }
    context.progress().finish();
    if (std::fflush(stdout) != 0) {
        context.note("cannot write to standard output");
        return 1;
    }
    return status;
}
