// Builds the host's catalog files from its English text source: every name
// of the shared message table must have a text, and every text a name, so a
// person never meets the catalog's fallback sentence.
//
//   orvo-make-catalog TEXTS OUT.msg [OUT.msg...]
//   orvo-make-catalog --mc LANGUAGE TEXTS OUT.mc
//
// The second form writes a message file for the Windows message compiler,
// the texts for one language id (hexadecimal, 809 for British English), from
// which the build makes that language's message-table library.
#include <ds/messages.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string trim(const std::string& text) {
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return {};
    const auto end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

bool fail(const std::string& where, const std::string& what) {
    std::cerr << "orvo-make-catalog: " << where << ": " << what << "\n";
    return false;
}

// NAME -> text, continuation lines joined with one blank.
bool read_texts(const std::string& path, std::map<std::string, std::string>& texts) {
    std::ifstream in(path);
    if (!in)
        return fail(path, "cannot be read");
    std::string line;
    std::string current;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const std::string where = path + ":" + std::to_string(number);
        if (trim(line).empty() || line[0] == '#') {
            current.clear();
            continue;
        }
        if (line[0] == ' ' || line[0] == '\t') {
            if (current.empty())
                return fail(where, "a continuation line follows no entry");
            texts[current].append(1, ' ').append(trim(line));
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            return fail(where, "expected NAME = text");
        current = trim(line.substr(0, equals));
        if (!orvoeng::msg::find_name(current))
            return fail(where, "no message named " + current + " in the message table");
        if (texts.count(current))
            return fail(where, current + " has a text already");
        texts[current] = trim(line.substr(equals + 1));
    }
    return true;
}

} // namespace

// One message of a message file: the identifier's parts by the fields of the
// message-table layout, then the text, ended by a line with a lone period.
void write_mc_message(std::ostream& out, const orvoeng::msg::MessageDef& def,
                      const std::string& text) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(def.id & 0xFFFFu));
    char facility[8];
    std::snprintf(facility, sizeof facility, "F%03X",
                  static_cast<unsigned>((def.id >> 16) & 0xFFFu));
    out << "\n; " << def.name << "\nMessageId=" << code
        << "\nSeverity=" << ((def.id >> 30) == 3 ? "Error" : "Informational")
        << "\nFacility=" << facility << "\nLanguage=Catalog\n"
        << text << "\n.\n";
}

std::string mc_header(const std::string& source, const std::string& language) {
    std::ostringstream out;
    out << "; Made by orvo-make-catalog from " << source << "; edit that file instead.\n"
        << "MessageIdTypedef=DWORD\n"
        << "SeverityNames=(Informational=0x1 Error=0x3)\n"
        << "FacilityNames=(";
    std::set<unsigned> facilities;
    for (const auto& def : orvoeng::msg::ALL)
        facilities.insert(static_cast<unsigned>((def.id >> 16) & 0xFFFu));
    for (const unsigned f : facilities) {
        char entry[24];
        std::snprintf(entry, sizeof entry, "%sF%03X=0x%X", f == *facilities.begin() ? "" : " ", f,
                      f);
        out << entry;
    }
    out << ")\nLanguageNames=(Catalog=0x" << language << ":MSG" << language << ")\n";
    return out.str();
}

int main(int argc, char** argv) {
    const bool message_file = argc == 5 && std::string(argv[1]) == "--mc";
    if (argc < 3 || (std::string(argv[1]) == "--mc" && !message_file)) {
        std::cerr << "usage: orvo-make-catalog TEXTS OUT.msg [OUT.msg...]\n"
                     "       orvo-make-catalog --mc LANGUAGE TEXTS OUT.mc\n";
        return 2;
    }
    const char* source = message_file ? argv[3] : argv[1];
    std::map<std::string, std::string> texts;
    if (!read_texts(source, texts))
        return 1;
    std::ostringstream catalog;
    if (message_file)
        catalog << mc_header(source, argv[2]);
    else
        catalog << "# Made by orvo-make-catalog from " << source << "; edit that file instead.\n";
    bool complete = true;
    for (const auto& def : orvoeng::msg::ALL) {
        const auto found = texts.find(std::string(def.name));
        if (found == texts.end() || found->second.empty()) {
            complete = fail(source, "no text for " + std::string(def.name));
            continue;
        }
        if (message_file) {
            write_mc_message(catalog, def, found->second);
            continue;
        }
        char id[16];
        std::snprintf(id, sizeof id, "0x%08X", static_cast<unsigned>(def.id));
        catalog << "# " << def.name << "\n" << id << " = " << found->second << "\n";
    }
    if (!complete)
        return 1;
    for (int i = message_file ? 4 : 2; i < argc; ++i) {
        std::ofstream out(argv[i], std::ios::binary);
        out << catalog.str();
        if (!out.flush())
            return fail(argv[i], "cannot be written"), 1;
    }
    return 0;
}
