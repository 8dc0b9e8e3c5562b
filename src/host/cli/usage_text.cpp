#include "usage_text.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace orvohost::cli {

namespace {

// What a person would type for each of the command's options.
std::vector<std::string> spellings(const CLI::App& command) {
    std::vector<std::string> out;
    for (const CLI::Option* option : command.get_options()) {
        for (const auto& name : option->get_lnames())
            out.push_back("--" + name);
        for (const auto& name : option->get_snames())
            out.push_back("-" + name);
    }
    return out;
}

bool looks_like_option(const std::string& word) {
    if (word.size() < 2 || word[0] != '-')
        return false;
    // A negative number or range ("-5", "-0.5:3") is a value.
    const char next = word[1] == '-' ? (word.size() > 2 ? word[2] : '\0') : word[1];
    return !(next >= '0' && next <= '9') && next != '.' && next != ':';
}

// Letters to change, add or remove to make one word the other.
std::size_t edit_distance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

} // namespace

std::optional<std::string> closest_name(const std::string& word,
                                        const std::vector<std::string>& names) {
    std::optional<std::string> best;
    std::size_t best_distance = 0;
    for (const std::string& name : names) {
        std::size_t distance = edit_distance(word, name);
        // "--ms" for "--ms-level": a start of three letters or more.
        const std::size_t letters =
            word.size() - std::min<std::size_t>(word.find_first_not_of('-'), word.size());
        if (letters >= 2 && name.starts_with(word))
            distance = 1;
        if (!best || distance < best_distance) {
            best = name;
            best_distance = distance;
        }
    }
    // A third of the letters may be wrong, one at least: a slip, not
    // another word. Names of one or two letters are too alike to guess.
    if (!best)
        return std::nullopt;
    const std::size_t letters = best->size() - best->find_first_not_of('-');
    if (letters < 3 || best_distance > std::max<std::size_t>(1, letters / 3))
        return std::nullopt;
    return best;
}

std::string unknown_option_sentence(const CLI::App& app, const CLI::App* command,
                                    std::string word) {
    word = word.substr(0, word.find('='));
    if (command)
        for (const CLI::App* other : app.get_subcommands({}))
            if (other != command && other->get_option_no_throw(word))
                return fmt::format("{} takes no {} ({} does)", command->get_name(), word,
                                   other->get_name());
    // The subcommand's own, the shared ones among them; before a
    // subcommand is known, what any of them takes may be meant.
    std::vector<std::string> names = spellings(command ? *command : app);
    if (!command)
        for (const CLI::App* other : app.get_subcommands({}))
            for (const auto& name : spellings(*other))
                if (std::find(names.begin(), names.end(), name) == names.end())
                    names.push_back(name);
    if (const auto close = closest_name(word, names))
        return fmt::format("unknown option {} (did you mean {}?)", word, *close);
    return fmt::format("unknown option {}", word);
}

std::optional<std::string> unknown_option_text(const CLI::App& app) {
    const auto chosen = app.get_subcommands();
    const CLI::App* command = chosen.empty() ? nullptr : chosen.front();
    for (const std::string& word : app.remaining(true))
        if (looks_like_option(word))
            return unknown_option_sentence(app, command, word);
    return std::nullopt;
}

std::optional<std::string> leading_unknown_option(const CLI::App& app, int argc, char** argv,
                                                  const std::string& first_word) {
    for (int i = 1; i < argc && argv[i] != first_word; ++i) {
        const std::string word = argv[i];
        if (looks_like_option(word) && !app.get_option_no_throw(word.substr(0, word.find('='))))
            return unknown_option_sentence(app, nullptr, word);
    }
    return std::nullopt;
}

std::string not_a_label(std::string_view word) {
    return fmt::format("'{}' is not a scan label: a label is a whole number, 1 for the file's "
                       "first scan (orvo-host scans FILE lists them)",
                       word);
}

CLI::Validator scan_label_check() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            std::uint32_t label = 0;
            const char* end = text.data() + text.size();
            const auto [at, error] = std::from_chars(text.data(), end, label);
            if (error == std::errc{} && at == end && label <= 2147483647u)
                return {};
            return not_a_label(text);
        },
        "");
}

} // namespace orvohost::cli
