#include "line_cursor.h"

#include "tag_search.h"

#include <algorithm>
#include <cstring>

namespace orvoeng {

namespace {

std::size_t find_byte(std::string_view text, char c, std::size_t from, std::size_t to) {
    if (from >= to)
        return std::string_view::npos;
    const void* at = std::memchr(text.data() + from, c, to - from);
    return at ? static_cast<std::size_t>(static_cast<const char*>(at) - text.data())
              : std::string_view::npos;
}

} // namespace

std::string_view LineCursor::peek() const {
    if (position >= end)
        return {};
    const auto room = static_cast<std::uint64_t>(end - position);
    return source.bytes(position,
                        static_cast<std::size_t>(std::min<std::uint64_t>(room, LINE_BUFFER_SIZE)));
}

bool LineCursor::next() {
    start = position;
    line = {};
    cut = false;
    nul_ended = false;
    if (position >= end)
        return false;
    const std::string_view read = peek();
    const std::size_t got = read.size();

    std::size_t length = got;  // bytes that make the line
    std::size_t advance = got; // bytes the cursor moves past
    if (got == LINE_BUFFER_SIZE) {
        const std::size_t feed = find_byte(read, '\n', 0, got - 1);
        if (feed != std::string_view::npos) {
            length = advance = feed + 1;
        } else if (read[got - 1] == '\n') {
            length = got - 1; // the feed of a 1023-byte line is consumed unseen
        } else {
            length = advance = got - 1; // the last byte starts the next piece
            cut = true;
        }
    } else if (const std::size_t feed = find_byte(read, '\n', 0, got);
               feed != std::string_view::npos) {
        length = advance = feed + 1;
    }
    position += static_cast<std::int64_t>(advance);

    const std::size_t nul = find_byte(read, '\0', 0, length);
    line = read.substr(0, nul == std::string_view::npos ? length : nul);
    nul_ended = nul != std::string_view::npos;
    cut = cut && !nul_ended;
    return length > 0;
}

std::string_view LineCursor::whole(std::size_t extra) {
    if (!cut || extra == 0)
        return line;
    const std::size_t own = line.size();
    const auto room = static_cast<std::uint64_t>(end - start);
    const std::string_view span =
        source.bytes(start, static_cast<std::size_t>(std::min<std::uint64_t>(room, own + extra)));
    if (span.size() <= own)
        return span;
    const std::size_t feed = find_byte(span, '\n', own, span.size());
    const std::size_t stop = feed == std::string_view::npos ? span.size() : feed + 1;
    const std::size_t nul = find_byte(span, '\0', own, stop);
    nul_ended = nul != std::string_view::npos;
    return span.substr(0, nul_ended ? nul : stop);
}

bool occurs_before(std::string_view text, std::size_t own, std::string_view needle) {
    const std::size_t at = find_text(text, needle);
    return at != std::string_view::npos && at < own;
}

} // namespace orvoeng
