#include "middle_ellipsis.h"

namespace orvohost {

namespace {

bool continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The byte at which the character after the first `count` ones starts.
std::size_t after_characters(std::string_view text, std::size_t count) {
    std::size_t at = 0;
    for (std::size_t seen = 0; at < text.size(); ++at)
        if (!continuation(text[at]) && seen++ == count)
            break;
    return at;
}

// The byte at which the last `count` characters start.
std::size_t before_last_characters(std::string_view text, std::size_t count) {
    std::size_t at = text.size();
    for (std::size_t seen = 0; at > 0 && seen < count;)
        if (!continuation(text[--at]))
            ++seen;
    return at;
}

} // namespace

std::size_t text_columns(std::string_view text) {
    std::size_t columns = 0;
    for (const char c : text)
        columns += continuation(c) ? 0U : 1U;
    return columns;
}

std::string middle_ellipsis(std::string_view text, std::size_t columns) {
    if (text_columns(text) <= columns)
        return std::string(text);
    if (columns == 0)
        return {};
    const std::size_t kept = columns - 1;
    const std::size_t tail = kept / 2;
    std::string out(text.substr(0, after_characters(text, kept - tail)));
    out += "\u2026";
    out += text.substr(before_last_characters(text, tail));
    return out;
}

} // namespace orvohost
