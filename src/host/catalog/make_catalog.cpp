// Builds the host's catalog files from its English text source: every name
// of the shared message table must have a text, and every text a name, so a
// person never meets the catalog's fallback sentence.
//
//   orvo-make-catalog TEXTS OUT.msg [OUT.msg...]
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

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: orvo-make-catalog TEXTS OUT.msg [OUT.msg...]\n";
        return 2;
    }
    std::map<std::string, std::string> texts;
    if (!read_texts(argv[1], texts))
        return 1;
    std::ostringstream catalog;
    catalog << "# Made by orvo-make-catalog from " << argv[1] << "; edit that file instead.\n";
    bool complete = true;
    for (const auto& def : orvoeng::msg::ALL) {
        const auto found = texts.find(std::string(def.name));
        if (found == texts.end() || found->second.empty()) {
            complete = fail(argv[1], "no text for " + std::string(def.name));
            continue;
        }
        char id[16];
        std::snprintf(id, sizeof id, "0x%08X", static_cast<unsigned>(def.id));
        catalog << "# " << def.name << "\n" << id << " = " << found->second << "\n";
    }
    if (!complete)
        return 1;
    for (int i = 2; i < argc; ++i) {
        std::ofstream out(argv[i], std::ios::binary);
        out << catalog.str();
        if (!out.flush())
            return fail(argv[i], "cannot be written"), 1;
    }
    return 0;
}
