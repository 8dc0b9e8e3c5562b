#include "file_probe.h"

#include <host/markup/start_tag.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace orvohost {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File open_for_reading(const std::filesystem::path& path) {
    return File(std::fopen(path.string().c_str(), "rb"));
}

// The plug-in looks for the document's start tags in this many lines.
constexpr std::size_t HEAD_LINES = 26;
// More than 26 lines of any document the plug-in would take.
constexpr std::size_t HEAD_BYTES = 256 * 1024;

// The start tag of a scan: "<scan" followed by a blank or the tag's end, so
// that "<scanOrigin" is not taken for one.
bool scan_tag_at(std::string_view text, std::size_t at) {
    if (text.compare(at, 5, "<scan") != 0 || at + 5 >= text.size())
        return false;
    const char next = text[at + 5];
    return next == ' ' || next == '\t' || next == '\r' || next == '\n' || next == '>';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The version in the first "mzXML_2.1" or "mzXML_idx_2.1" of `text`:
// digits, then dot-separated groups of digits.
std::string first_schema_version(std::string_view text) {
    constexpr std::string_view MARK = "mzXML_";
    for (std::size_t at = text.find(MARK); at != std::string_view::npos;
         at = text.find(MARK, at + 1)) {
        std::string_view rest = text.substr(at + MARK.size());
        if (rest.starts_with("idx_") && rest.size() > 4 && is_digit(rest[4]))
            rest.remove_prefix(4);
        std::size_t end = 0;
        while (end < rest.size() && is_digit(rest[end])) {
            while (end < rest.size() && is_digit(rest[end]))
                ++end;
            if (end + 1 < rest.size() && rest[end] == '.' && is_digit(rest[end + 1]))
                ++end;
        }
        if (end > 0)
            return std::string(rest.substr(0, end));
    }
    return {};
}

} // namespace

std::optional<PathProblem> path_problem(const std::filesystem::path& path) {
    const auto with_reason = [](PathProblem::Kind kind, int error, const std::string& what) {
        return PathProblem{kind, error, what + " (" + std::generic_category().message(error) + ")"};
    };
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found)
        return with_reason(PathProblem::MISSING, ENOENT, "it does not exist");
    if (status.type() == std::filesystem::file_type::directory)
        return with_reason(PathProblem::FOLDER, EISDIR, "it is a folder, not a file");
    if (error)
        return with_reason(PathProblem::UNREADABLE, error.value(), "it cannot be looked at");
    if (status.type() != std::filesystem::file_type::regular)
        return PathProblem{PathProblem::NOT_REGULAR, 0,
                           "it is not a regular file (a pipe, socket or device)"};
    errno = 0;
    const File file = open_for_reading(path);
    if (!file)
        return with_reason(PathProblem::UNREADABLE, errno, "it may not be read");
    if (std::fgetc(file.get()) == EOF) {
        if (std::ferror(file.get()))
            return with_reason(PathProblem::UNREADABLE, errno, "it cannot be read");
        return PathProblem{PathProblem::EMPTY, 0, "it is empty (0 bytes)"};
    }
    return std::nullopt;
}

DocumentStart read_document_start(const std::filesystem::path& path) {
    DocumentStart start;
    const File file = open_for_reading(path);
    if (!file)
        return start;
    std::string head(HEAD_BYTES, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), file.get()));
    // The first 26 lines, whichever of LF or CR LF ends them.
    std::size_t end = 0;
    for (std::size_t line = 0; line < HEAD_LINES && end < head.size(); ++line) {
        const std::size_t feed = head.find('\n', end);
        end = feed == std::string::npos ? head.size() : feed + 1;
    }
    head.resize(end);
    start.xml_declaration = head.find("<?xml") != std::string::npos;
    start.mzxml_tag = head.find("<mzXML") != std::string::npos;
    start.msrun_tag = head.find("<msRun ") != std::string::npos;
    start.bare_msrun_tag = head.find("<msRun>") != std::string::npos;
    start.mzml_tag =
        head.find("<mzML") != std::string::npos || head.find("<indexedmzML") != std::string::npos;
    start.any_tag = head.find('<') != std::string::npos;
    start.schema_version = first_schema_version(head);
    return start;
}

std::optional<std::string> scan_num_at(const std::filesystem::path& path, std::uint32_t position) {
    const File file = open_for_reading(path);
    if (!file || position == 0)
        return std::nullopt;
    // Read in blocks; a block keeps the unsearched tail of the one before,
    // so that a tag cut by a block's end is found whole in the next.
    constexpr std::size_t BLOCK = 1 << 20;
    constexpr std::size_t LONGEST_TAG = 64 * 1024;
    std::string text;
    std::uint32_t seen = 0;
    std::vector<char> buffer(BLOCK);
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
        text.append(buffer.data(), got);
        const bool last = got < buffer.size();
        std::size_t at = 0;
        for (;;) {
            at = text.find("<scan", at);
            if (at == std::string::npos || (!last && text.size() - at < LONGEST_TAG))
                break;
            if (scan_tag_at(text, at) && ++seen == position) {
                const std::size_t close = text.find('>', at);
                const StartTag tag(std::string_view(text).substr(at, close - at));
                if (const auto num = tag.value("num"))
                    return std::string(*num);
                return std::nullopt;
            }
            ++at;
        }
        if (last)
            return std::nullopt;
        // Keep what may still hold a tag cut at the block's end.
        const std::size_t keep =
            std::min(text.size(), at == std::string::npos ? 5 : text.size() - at);
        text.erase(0, text.size() - keep);
    }
}

} // namespace orvohost
