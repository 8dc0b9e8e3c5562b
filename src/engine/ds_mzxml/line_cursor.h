// The one way the reader reads lines, over any ByteSource.
//
// A line is what one read of LINE_BUFFER_SIZE bytes at the cursor gives: the
// bytes up to and including the first line feed among the first 1023; a line
// of exactly 1023 bytes whose feed is the 1024th byte comes without it (the
// feed is consumed); with no feed in 1023 bytes the first 1023 come as a
// piece and the 1024th starts the next one, so a long line comes in pieces
// that join whole. A short read ends the bytes: what it holds up to its first
// feed is the line. The text of a line ends at its first NUL byte.
//
// A value can straddle two pieces of a long line. `whole` gives the piece
// with the rest of its line after it, so a search can read a value whole;
// only a match that starts within the piece belongs to it (the next piece
// finds those that start there), so nothing is found twice.
#pragma once

#include "byte_source.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

namespace orvoeng {

class LineCursor {
public:
    static constexpr std::size_t LINE_BUFFER_SIZE = 1024;
    static constexpr std::int64_t NO_END = std::numeric_limits<std::int64_t>::max();

    // Lines from `position`, never reading at or past `end`.
    LineCursor(ByteSource& bytes, std::int64_t from, std::int64_t stop = NO_END)
        : source(bytes), position(from), end(stop) {}

    // Moves to the next line; false when it holds no byte (the end).
    bool next();

    // The bytes next() would read for the next line, before it looks for
    // the line's end, without moving. Valid until the next call.
    std::string_view peek() const;

    // The current line's text, up to its first NUL. Valid until the next call.
    std::string_view text() const { return line; }
    // Where the current line starts in the bytes, and where the next one will.
    std::int64_t line_start() const { return start; }
    std::int64_t next_start() const { return position; }

    // The current line's text followed, when the line is a piece cut from a
    // longer one, by at most `extra` bytes of the rest of that line (up to
    // its feed, included, or a NUL). The current text's span may be gone
    // after this call: use the span it returns. Its first text().size()
    // bytes are the current line.
    std::string_view whole(std::size_t extra);
    // Whether the last text given (by next or whole) ended at a NUL byte.
    bool ended_at_nul() const { return nul_ended; }

private:
    ByteSource& source;
    std::int64_t position;
    const std::int64_t end;
    std::int64_t start = 0;
    std::string_view line;
    bool cut = false; // a piece of a longer line
    bool nul_ended = false;
};

// Whether `needle` occurs in `text` starting before `own`.
bool occurs_before(std::string_view text, std::size_t own, std::string_view needle);

} // namespace orvoeng
