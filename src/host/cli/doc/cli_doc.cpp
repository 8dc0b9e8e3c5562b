#include "cli_doc.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <vector>

namespace orvocli {

namespace {

// ---- what CLI11 holds ------------------------------------------------------

bool shown(const CLI::Option* option) {
    return !option->get_group().empty();
}

std::vector<const CLI::Option*> named_options(const CLI::App& app) {
    return app.get_options(
        [](const CLI::Option* option) { return shown(option) && option->nonpositional(); });
}

std::vector<const CLI::Option*> positionals(const CLI::App& app) {
    return app.get_options(
        [](const CLI::Option* option) { return shown(option) && !option->nonpositional(); });
}

std::vector<const CLI::App*> subcommands(const CLI::App& app) {
    return app.get_subcommands(
        [](const CLI::App* sub) { return !sub->get_group().empty() && !sub->get_disabled(); });
}

std::vector<std::string> spellings(const CLI::Option* option) {
    std::vector<std::string> out;
    for (const auto& name : option->get_snames())
        out.push_back("-" + name);
    for (const auto& name : option->get_lnames())
        out.push_back("--" + name);
    return out;
}

bool takes_value(const CLI::Option* option) {
    return option->get_items_expected_max() > 0;
}

// The fixed set of values an option takes, from its membership check
// ("TEXT:{table,tsv,json}"); empty when it takes any.
std::vector<std::string> choices(const CLI::Option* option) {
    const std::string type = option->get_type_name();
    const auto open = type.find(":{");
    const auto close = type.find('}', open);
    std::vector<std::string> out;
    if (open == std::string::npos || close == std::string::npos)
        return out;
    std::string item;
    for (std::size_t i = open + 2; i <= close; ++i) {
        if (i == close || type[i] == ',') {
            if (!item.empty())
                out.push_back(item);
            item.clear();
        } else if (type[i] != ' ') {
            item.push_back(type[i]);
        }
    }
    return out;
}

// What a value looks like in a synopsis: the choices, else the type.
std::string value_name(const CLI::Option* option) {
    const auto set = choices(option);
    if (!set.empty()) {
        std::string out;
        for (const auto& item : set)
            out += (out.empty() ? "" : "|") + item;
        return out;
    }
    std::string type = option->get_type_name();
    type = type.substr(0, type.find(':'));
    return type.empty() ? "VALUE" : type;
}

// ---- roff ------------------------------------------------------------------

// Text set literally: backslashes and hyphens as roff wants them, and no
// line that starts like a request.
std::string roff(std::string_view text) {
    std::string out;
    bool line_start = true;
    for (const char c : text) {
        if (line_start && (c == '.' || c == '\''))
            out += "\\&";
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out.push_back(c);
        line_start = c == '\n';
    }
    return out;
}

std::string sentence_start(std::string text) {
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    while (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

std::string upper(std::string text) {
    for (auto& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string positional_synopsis(const CLI::Option* option) {
    std::string name = "\\fI" + roff(option->get_name(true)) + "\\fR";
    if (option->get_items_expected_max() > 1)
        name += "...";
    return option->get_required() ? name : "[" + name + "]";
}

void write_options(std::ostream& out, const std::vector<const CLI::Option*>& options) {
    for (const auto* option : options) {
        out << ".TP\n";
        std::string names;
        for (const auto& spelling : spellings(option))
            names += (names.empty() ? "" : ", ") + ("\\fB" + roff(spelling) + "\\fR");
        if (takes_value(option))
            names += " \\fI" + roff(value_name(option)) + "\\fR";
        std::string text = option->get_description();
        if (takes_value(option) && !option->get_default_str().empty())
            text += " (default " + option->get_default_str() + ")";
        out << names << "\n" << roff(text) << "\n";
    }
}

void write_positionals(std::ostream& out, const std::vector<const CLI::Option*>& options) {
    for (const auto* option : options)
        out << ".TP\n\\fI" << roff(option->get_name(true)) << "\\fR\n"
            << roff(option->get_description()) << "\n";
}

// ---- bash ------------------------------------------------------------------

std::string words(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& item : items)
        out += (out.empty() ? "" : " ") + item;
    return out;
}

std::string option_words(const std::vector<const CLI::Option*>& options) {
    std::vector<std::string> all;
    for (const auto* option : options)
        for (const auto& spelling : spellings(option))
            all.push_back(spelling);
    return words(all);
}

// One "case" arm a value-taking option: its choices, files for text, and
// nothing to offer for numbers.
void write_value_arms(std::ostream& out, const std::vector<const CLI::Option*>& options,
                      const std::string& indent) {
    for (const auto* option : options) {
        if (!takes_value(option))
            continue;
        std::string pattern;
        for (const auto& spelling : spellings(option))
            pattern += (pattern.empty() ? "" : "|") + spelling;
        const auto set = choices(option);
        const std::string type = option->get_type_name();
        out << indent << pattern << ")\n" << indent << "    ";
        if (!set.empty())
            out << "COMPREPLY=($(compgen -W '" << words(set) << "' -- \"$cur\"))";
        else if (type.rfind("TEXT", 0) == 0)
            out << "_filedir";
        else
            out << "COMPREPLY=()";
        out << "\n" << indent << "    return\n" << indent << "    ;;\n";
    }
}

std::string function_name(const std::string& program) {
    std::string out = "_";
    for (const char c : program)
        out.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    return out;
}

} // namespace

void write_man_page(std::ostream& out, const CLI::App& app, std::string_view version,
                    const std::vector<ManSection>& sections) {
    const std::string name = app.get_name();
    const auto subs = subcommands(app);
    out << ".\\\" Written by " << roff(name) << " --write-man-page from its option definitions.\n"
        << ".TH " << upper(roff(name)) << " 1 \"\" \"" << roff(std::string(version))
        << "\" \"User Commands\"\n"
        << ".SH NAME\n"
        << roff(name) << " \\- " << roff(sentence_start(app.get_description())) << "\n"
        << ".SH SYNOPSIS\n"
        << ".B " << roff(name) << "\n[\\fIOPTIONS\\fR]";
    for (const auto* positional : positionals(app))
        out << " " << positional_synopsis(positional);
    if (!subs.empty())
        out << " \\fISUBCOMMAND\\fR [\\fISUBCOMMAND OPTIONS\\fR]";
    out << "\n.SH DESCRIPTION\n" << roff(app.get_description()) << "\n";
    if (const auto args = positionals(app); !args.empty()) {
        out << ".SH ARGUMENTS\n";
        write_positionals(out, args);
    }
    out << ".SH OPTIONS\n";
    write_options(out, named_options(app));
    if (!subs.empty()) {
        out << ".SH SUBCOMMANDS\n";
        for (const auto* sub : subs) {
            out << ".SS \"" << roff(name) << " " << roff(sub->get_name()) << " [\\fIOPTIONS\\fR]";
            for (const auto* positional : positionals(*sub))
                out << " " << positional_synopsis(positional);
            out << "\"\n" << roff(sub->get_description()) << "\n";
            write_positionals(out, positionals(*sub));
            write_options(out, named_options(*sub));
        }
    }
    for (const auto& section : sections) {
        out << ".SH " << roff(upper(section.title)) << "\n";
        if (!section.text.empty())
            out << roff(section.text) << "\n";
        for (const auto& [term, text] : section.entries)
            out << ".TP\n\\fB" << roff(term) << "\\fR\n" << roff(text) << "\n";
    }
    if (const std::string footer = app.get_footer(); !footer.empty())
        out << ".SH NOTES\n" << roff(footer) << "\n";
}

void write_bash_completion(std::ostream& out, const CLI::App& app) {
    const std::string name = app.get_name();
    const std::string function = function_name(name);
    const auto subs = subcommands(app);
    std::vector<std::string> sub_names;
    for (const auto* sub : subs)
        sub_names.push_back(sub->get_name());

    out << "# bash completion of " << name << ", written by " << name
        << " --write-bash-completion from its option definitions.\n"
        << function << "() {\n"
        << "    local cur prev words cword\n"
        << "    _init_completion || return\n\n"
        << "    local sub='' i\n"
        << "    for ((i = 1; i < cword; i++)); do\n"
        << "        case ${words[i]} in\n";
    if (!sub_names.empty()) {
        std::string pattern;
        for (const auto& sub : sub_names)
            pattern += (pattern.empty() ? "" : "|") + sub;
        out << "        " << pattern << ")\n"
            << "            sub=${words[i]}\n"
            << "            break\n"
            << "            ;;\n";
    }
    out << "        esac\n"
        << "    done\n\n"
        << "    case $prev in\n";
    write_value_arms(out, named_options(app), "        ");
    out << "    esac\n";
    for (const auto* sub : subs) {
        out << "    if [[ $sub == " << sub->get_name() << " ]]; then\n"
            << "        case $prev in\n";
        write_value_arms(out, named_options(*sub), "            ");
        out << "        esac\n"
            << "    fi\n";
    }
    out << "\n    if [[ $cur == -* ]]; then\n"
        << "        local options='" << option_words(named_options(app)) << "'\n"
        << "        case $sub in\n";
    for (const auto* sub : subs)
        out << "        " << sub->get_name() << ") options+=' " << option_words(named_options(*sub))
            << "' ;;\n";
    out << "        esac\n"
        << "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
        << "        return\n"
        << "    fi\n";
    if (!sub_names.empty())
        out << "    if [[ -z $sub ]]; then\n"
            << "        COMPREPLY=($(compgen -W '" << words(sub_names) << "' -- \"$cur\"))\n"
            << "        return\n"
            << "    fi\n";
    out << "    _filedir\n"
        << "} &&\n"
        << "    complete -F " << function << " " << name << "\n";
}

std::optional<int> write_requested(int argc, const char* const* argv, const CLI::App& app,
                                   std::string_view version,
                                   const std::vector<ManSection>& sections) {
    if (argc != 3)
        return std::nullopt;
    const std::string_view request = argv[1];
    if (request != "--write-man-page" && request != "--write-bash-completion")
        return std::nullopt;
    std::ofstream out(argv[2], std::ios::binary);
    if (request == "--write-man-page")
        write_man_page(out, app, version, sections);
    else
        write_bash_completion(out, app);
    out.close();
    return out ? 0 : 1;
}

} // namespace orvocli
