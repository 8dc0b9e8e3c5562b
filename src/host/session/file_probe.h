// What the host can tell about a file by looking at it itself, so that a
// refusal names its cause: the kind of path, the start of the document, the
// start tag of one scan. Only asked after the plug-in refused something;
// it never reads peak data.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace orvohost {

// Why `path` cannot be read as a file at all, with the system's own reason
// where there is one.
struct PathProblem {
    enum Kind { MISSING, FOLDER, NOT_REGULAR, UNREADABLE, EMPTY };
    Kind kind;
    int error;        // the system's error number; 0 where there is none
    std::string text; // "it does not exist (No such file or directory)"...
};
// Nothing for a readable file that holds something.
std::optional<PathProblem> path_problem(const std::filesystem::path& path);

// The start of a document as far as the plug-in looks for it: its first 26
// lines.
struct DocumentStart {
    bool xml_declaration = false; // "<?xml"
    bool mzxml_tag = false;       // "<mzXML"
    bool msrun_tag = false;       // "<msRun " with attributes
    bool bare_msrun_tag = false;  // "<msRun>" without any
    bool mzml_tag = false;        // "<mzML" or "<indexedmzML": another format
    bool any_tag = false;         // a "<" at all: text that may be XML
    // The version of the first mzXML schema the file names ("3.2" for
    // ".../mzXML_3.2" or "mzXML_idx_3.2"); empty when it names none.
    std::string schema_version;
};
DocumentStart read_document_start(const std::filesystem::path& path);

// The text of the num attribute of the scan start tag at 1-based
// `position` in file order, when the file has such a tag and it has a num.
std::optional<std::string> scan_num_at(const std::filesystem::path& path, std::uint32_t position);

} // namespace orvohost
