// The man page and bash completion writer against a small command line:
// what the page shows and escapes, and what bash offers when the written
// script runs.
#include <host/cli/doc/cli_doc.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

struct Program {
    CLI::App app{"Reads things.\n.A line that looks like a request, and a back\\slash", "prog"};
    std::string format, plugin, output, hidden;
    int jobs = 1;
    std::vector<std::string> files;

    Program() {
        app.add_option("--format", format, "listing format")
            ->check(CLI::IsMember({"table", "tsv", "json"}));
        app.add_option("--plugin", plugin, "the plug-in to load");
        app.add_option("-j,--jobs", jobs, "files at once")
            ->check(CLI::Range(1, 8))
            ->capture_default_str();
        app.add_option("--secret", hidden, "not for people")->group("");
        auto* sub = app.add_subcommand("write", "Write a file");
        sub->add_option("FILE", files, "input files")->required();
        sub->add_option("-o,--output", output, "file to write");
        app.add_subcommand("list", "List the scans");
    }
};

std::string man_page(const CLI::App& app) {
    std::ostringstream out;
    orvocli::write_man_page(out, app, "orvo 9.9");
    return out.str();
}

TEST(ManPage, ShowsEveryVisibleOptionAndSubcommandAndEscapesRoff) {
    Program program;
    const std::string page = man_page(program.app);
    for (const char* expected : {
             ".TH PROG 1 \"\" \"orvo 9.9\"",
             "prog \\- reads things",
             "\\fB\\-\\-format\\fR \\fItable|tsv|json\\fR\nlisting format",
             "\\fB\\-j\\fR, \\fB\\-\\-jobs\\fR \\fIINT\\fR\nfiles at once (default 1)",
             ".SS \"prog write [\\fIOPTIONS\\fR] \\fIFILE\\fR...\"\nWrite a file",
             ".TP\n\\fIFILE\\fR\ninput files",
             "\\fB\\-o\\fR, \\fB\\-\\-output\\fR \\fITEXT\\fR",
             ".SS \"prog list [\\fIOPTIONS\\fR]\"",
             "\n\\&.A line that looks like a request, and a back\\eslash",
         })
        EXPECT_NE(page.find(expected), std::string::npos) << expected << "\n--- in ---\n" << page;
    EXPECT_EQ(page.find("secret"), std::string::npos) << "a hidden option is shown";
}

TEST(ManPage, WritesTheProgramsOwnSectionsAfterTheSubcommands) {
    Program program;
    std::ostringstream out;
    orvocli::write_man_page(
        out, program.app, "orvo 9.9",
        {{"Exit status", "", {{"2", "a usage error"}}},
         {"ENVIRONMENT", "Read at start.", {{"ORVO_BASE64", "avx2 or scalar-only"}}}});
    const std::string page = out.str();
    const auto exit_status = page.find(".SH EXIT STATUS\n.TP\n\\fB2\\fR\na usage error\n");
    const auto environment = page.find(
        ".SH ENVIRONMENT\nRead at start.\n.TP\n\\fBORVO_BASE64\\fR\navx2 or scalar\\-only");
    EXPECT_NE(exit_status, std::string::npos) << page;
    EXPECT_NE(environment, std::string::npos) << page;
    EXPECT_LT(page.find(".SH SUBCOMMANDS"), exit_status);
    EXPECT_LT(exit_status, environment);
}

// Runs the written completion in bash for a command line (the word under
// the cursor last) and gives what it offers, one word a line, sorted.
std::string complete(const CLI::App& app, const std::string& line) {
    const auto script = std::filesystem::temp_directory_path() /
                        ("cli_doc_test_" + std::to_string(::getpid()) + ".bash");
    {
        std::ofstream out(script);
        // bash-completion's helpers, reduced to what the script needs.
        out << "_init_completion() { words=(\"${COMP_WORDS[@]}\"); cword=$COMP_CWORD;"
               " cur=${words[cword]}; prev=${words[cword-1]}; }\n"
               "_filedir() { COMPREPLY=(FILES); }\n";
        orvocli::write_bash_completion(out, app);
        out << "COMP_WORDS=(" << line << ")\n"
            << "[[ '" << line << "' == *' ' ]] && COMP_WORDS+=('')\n"
            << "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
            << "_prog\n"
            << "printf '%s\\n' \"${COMPREPLY[@]}\" | sort\n";
    }
    std::string result;
    if (FILE* pipe = ::popen(("bash " + script.string() + " 2>&1").c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
            result += buffer;
        ::pclose(pipe);
    }
    std::filesystem::remove(script);
    return result;
}

TEST(BashCompletion, OffersSubcommandsOptionsChoicesAndFiles) {
    Program program;
    const struct {
        const char* line;
        const char* offered;
    } cases[] = {
        {"prog ", "list\nwrite\n"},
        {"prog w", "write\n"},
        {"prog --f", "--format\n"},
        {"prog --format t", "table\ntsv\n"},
        {"prog --plugin ", "FILES\n"},
        {"prog -j ", "\n"},
        {"prog write --o", "--output\n"},
        {"prog list --o", "\n"},
        {"prog write -o ", "FILES\n"},
        {"prog write ", "FILES\n"},
        {"prog --s", "\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(complete(program.app, c.line), c.offered) << "line '" << c.line << "'";
}

} // namespace
