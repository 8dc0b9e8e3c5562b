// Usage errors in the words a person uses: CLI11's own texts name its
// internals ("The following arguments were not expected", "Could not
// convert: LABEL = abc").
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvohost::cli {

// After CLI11 found words it did not expect: the first that looks like an
// option, as "unknown option --ms-lvl (did you mean --ms-level?)", or as
// "scans takes no --stats (info does)" when another subcommand takes it.
// Nothing when every unexpected word is a plain argument.
std::optional<std::string> unknown_option_text(const CLI::App& app);

// Before CLI11 parses: an unknown option among the words before
// `first_word`, which then is its value, not a subcommand.
std::optional<std::string> leading_unknown_option(const CLI::App& app, int argc, char** argv,
                                                  const std::string& first_word);

// The sentence of one unknown option of `command` (null: before any
// subcommand, when the suggestion may come from any of them).
std::string unknown_option_sentence(const CLI::App& app, const CLI::App* command, std::string word);

// The closest of `names` to `word` where it is close enough to be a slip
// of the keyboard or a short form: a few letters wrong, or its start.
std::optional<std::string> closest_name(const std::string& word,
                                        const std::vector<std::string>& names);

// The check of a scan label argument: a whole number from 1 (0 with
// --first-label 0) to 2147483647, else a sentence that says what a label is.
// "'abc' is not a scan label: ...", what a label is and where to find them.
std::string not_a_label(std::string_view word);
CLI::Validator scan_label_check();

} // namespace orvohost::cli
