// orvo-host: loads the mzXML data-source plug-in as an engine does and lets
// a person look into, check, export and plot mzXML 2.x files.
//
// Exit status: 0 when everything read, 1 when a file or spectrum failed or
// the host could not do its job, 2 for a usage error.
#include "context.h"
#include "man_sections.h"
#include "usage_text.h"

#include <host/base/temporary_files.h>
#include <host/cli/doc/cli_doc.h>

#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string_view>

namespace {

using namespace orvohost::cli;

// The first word that is neither an option nor an option's value: the
// subcommand, when one is named.
std::optional<std::string> first_word(CLI::App& app, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--")
            return std::nullopt;
        if (word.size() > 1 && word.front() == '-') {
            if (word.find('=') != std::string_view::npos)
                continue;
            const CLI::Option* option = app.get_option_no_throw(std::string(word));
            const bool short_with_value = word.size() > 2 && word[1] != '-';
            if (option && option->get_items_expected_min() > 0 && !short_with_value)
                ++i; // its value
            continue;
        }
        return std::string(word);
    }
    return std::nullopt;
}

bool names_subcommand(CLI::App& app, const std::string& word) {
    for (const CLI::App* command : app.get_subcommands({}))
        if (command->check_name(word))
            return true;
    return false;
}

// Points to the help of the subcommand the words name, where they name one.
int usage_error(Context& context, CLI::App& app, int argc, char** argv, const std::string& what) {
    context.progress().finish();
    const auto word = first_word(app, argc, argv);
    const std::string help = word && names_subcommand(app, *word) ? "orvo-host " + *word + " --help"
                                                                  : "orvo-host --help";
    fmt::print(stderr, "orvo-host: {}\nusage: orvo-host [OPTIONS] SUBCOMMAND ... (see {})\n", what,
               help);
    return 2;
}

std::string subcommand_names(CLI::App& app) {
    std::string names;
    for (const CLI::App* command : app.get_subcommands({}))
        names += (names.empty() ? "" : ", ") + command->get_name();
    return names;
}

// Combinations CLI11 cannot see, since an option may stand before or after
// the subcommand's name.
std::optional<std::string> conflicting_options(CLI::App& app, const Options& options) {
    if (options.quiet && options.verbose > 0)
        return "-q (show no events) and -v (show more events) exclude each other; give one";
    const CLI::App* command = app.get_subcommands().front();
    if (app.count("--format") > 0 && !command->get_option_no_throw("--format"))
        return fmt::format("{} writes no listing, so it takes no --format", command->get_name());
    if (command->get_name() == "check" && options.format == "tsv")
        return "check writes prose or, with --format json, one object a file; it takes no "
               "--format tsv";
    if (app.count("--jobs") > 0 && !command->get_option_no_throw("--jobs"))
        return fmt::format("{} reads one file, so it takes no -j", command->get_name());
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    // Repaired copies and outputs not yet in place are removed also when
    // the person presses Ctrl-C or the program is told to stop.
    orvohost::remove_temporaries_on_signals();
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
    add_shared_options(app, context.options, LISTING | JOBS);

    add_info(app, context, status);
    add_scans(app, context, status);
    add_spectrum(app, context, status);
    add_dump(app, context, status);
    add_mgf(app, context, status);
    add_plot(app, context, status);
    add_tic(app, context, status);
    add_bpc(app, context, status);
    add_xic(app, context, status);
    add_check(app, context, status);
    add_repair(app, context, status);
#ifdef ORVO_HOST_MZML
    add_mzml(app, context, status);
#endif

    if (const auto written =
            orvocli::write_requested(argc, argv, app, "orvo " ORVO_VERSION, host_man_sections()))
        return *written;
    // CLI11 would only say that a subcommand is required.
    if (const auto word = first_word(app, argc, argv); word && !names_subcommand(app, *word)) {
        if (const auto unknown = leading_unknown_option(app, argc, argv, *word))
            return usage_error(context, app, argc, argv, *unknown);
        return usage_error(context, app, argc, argv,
                           fmt::format("unknown subcommand '{}' (the subcommands are {})", *word,
                                       subcommand_names(app)));
    }
    // Runs once every word is read, before the subcommand does.
    app.parse_complete_callback([&app, &context] {
        if (const auto conflict = conflicting_options(app, context.options))
            throw CLI::ValidationError(*conflict);
    });
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& success) {
        return app.exit(success);
    } catch (const CLI::ExtrasError& error) {
        const auto unknown = unknown_option_text(app);
        return usage_error(context, app, argc, argv, unknown ? *unknown : error.what());
    } catch (const CLI::ParseError& error) {
        return usage_error(context, app, argc, argv, error.what());
    } catch (...) {
        // Whatever the subcommand met, the person gets a sentence, never an abort.
        context.progress().finish();
        context.report_failure({}, std::current_exception());
        return 1;
    }
    context.progress().finish();
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        context.note(fmt::format("cannot write to standard output: {}",
                                 errno ? std::strerror(errno) : "the write failed"));
        return 1;
    }
    return status;
}
