// A program's manual page and bash completion, written from its CLI11
// definition: the options, subcommands and texts that --help shows, so the
// three cannot tell different stories.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvocli {

// A section of the page that CLI11 does not hold (EXIT STATUS,
// ENVIRONMENT, FILES, EXAMPLES): a paragraph, then entries of a term (a
// status, a variable, a path, a command line), set in bold, and its text.
struct ManSection {
    std::string title;
    std::string text; // may be empty
    std::vector<std::pair<std::string, std::string>> entries;
};

// A man page of section 1: name, synopsis, description, options, a
// section per subcommand with its arguments and options, then `sections`
// in their order.
void write_man_page(std::ostream& out, const CLI::App& app, std::string_view version,
                    const std::vector<ManSection>& sections = {});

// A bash completion function for the program, registered with `complete`:
// subcommands, the options of the global level and of the subcommand in
// use, the choices of options that have a fixed set, files elsewhere.
void write_bash_completion(std::ostream& out, const CLI::App& app);

// The build's hook: "--write-man-page PATH" or "--write-bash-completion
// PATH" as the only arguments writes that file and gives the exit status;
// any other command line gives nothing and is the program's to parse.
std::optional<int> write_requested(int argc, const char* const* argv, const CLI::App& app,
                                   std::string_view version,
                                   const std::vector<ManSection>& sections = {});

} // namespace orvocli
