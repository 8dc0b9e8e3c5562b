#include "run_head.h"

#include <host/markup/start_tag.h>
#include <host/markup/xml_text.h>

#include <fstream>
#include <vector>

namespace orvohost {

namespace {

// The run's header is a few kilobytes; a file whose first scan is further
// on is read no further, and what was read is used.
constexpr std::size_t MOST_HEAD = std::size_t{4} << 20;
constexpr std::size_t BLOCK = std::size_t{64} << 10;

bool name_ends(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>' || c == '/';
}

// Where the start tag of element `name` begins in `text` at or after `from`
// (not an element whose name merely begins so); npos when there is none.
std::size_t tag_at(std::string_view text, std::string_view name, std::size_t from = 0) {
    for (std::size_t at = text.find(name, from); at != std::string_view::npos;
         at = text.find(name, at + 1)) {
        const std::size_t after = at + name.size();
        if (at > 0 && text[at - 1] == '<' && after < text.size() && name_ends(text[after]))
            return at - 1;
    }
    return std::string_view::npos;
}

std::optional<StartTag> start_tag(std::string_view text, std::string_view name,
                                  std::size_t from = 0,
                                  std::size_t before = std::string_view::npos) {
    const std::size_t at = tag_at(text, name, from);
    if (at == std::string_view::npos || at >= before)
        return std::nullopt;
    const std::size_t end = text.find('>', at);
    if (end == std::string_view::npos)
        return std::nullopt;
    return StartTag(text.substr(at, end + 1 - at));
}

std::optional<std::string> value_of(const StartTag& tag, std::string_view name) {
    const auto value = tag.value(name);
    if (!value)
        return std::nullopt;
    return xml_unescaped(*value);
}

} // namespace

RunHead run_head_of(std::string_view head) {
    RunHead run;
    if (const auto parent = start_tag(head, "parentFile"))
        if (auto name = value_of(*parent, "fileName"); name && !name->empty())
            run.parent_file = std::move(name);

    const std::size_t instrument = tag_at(head, "msInstrument");
    if (instrument != std::string_view::npos) {
        const std::size_t end = head.find("</msInstrument>", instrument);
        if (const auto person = start_tag(head, "operator", instrument, end)) {
            const std::string first = value_of(*person, "first").value_or("");
            const std::string last = value_of(*person, "last").value_or("");
            const std::string joined = first + (first.empty() || last.empty() ? "" : " ") + last;
            if (!joined.empty())
                run.operator_name = joined;
        }
    }

    if (const auto processing = start_tag(head, "dataProcessing"))
        if (const auto stated = processing->value("centroided"))
            run.centroided = *stated == "1" || *stated == "true" || *stated == "TRUE";
    return run;
}

RunHead read_run_head(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string head;
    std::vector<char> block(BLOCK);
    while (in && head.size() < MOST_HEAD) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        // A tag cut at the block's end is found once the next block is in.
        const std::size_t from = head.size() > 64 ? head.size() - 64 : 0;
        head.append(block.data(), got);
        if (got == 0 || tag_at(head, "scan", from) != std::string_view::npos)
            break;
    }
    const std::size_t scan = tag_at(head, "scan");
    return run_head_of(std::string_view(head).substr(0, scan));
}

} // namespace orvohost
