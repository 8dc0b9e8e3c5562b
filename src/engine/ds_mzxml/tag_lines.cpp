#include "tag_lines.h"

#include "tag_marks.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace orvoeng {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Where the marks of a text are (the bytes that matter to the pass: a
// line's end, an attribute's "=", a tag's "<" or ">", a NUL) and the ends
// of its values (a closing quote, or a line feed before it), found 64
// bytes at a time: each byte is looked at once for both, and the next one
// from any place is a bit away, where a search from each mark would load
// the bytes after it again. Blocks are found a few at a time, as the pass
// reaches them, so that a tag's end is not looked past by much.
class ChunkBits {
public:
    static constexpr std::size_t SIZE = 64;

    // The marks are given in order from `first`. Only the first MOST_BYTES
    // of `text` are looked at.
    ChunkBits(std::string_view text, std::size_t first)
        : bytes(text.substr(0, MOST_BYTES)), path(vector_path()) {
        whole_blocks = bytes.size() / SIZE;
        all_blocks = (bytes.size() + SIZE - 1) / SIZE;
        marks_block = first / SIZE;
        if (first < bytes.size())
            marks_left = block(marks_block).marks >> (first % SIZE) << (first % SIZE);
    }

    // The next mark after the last one given, or npos.
    std::size_t next_mark() {
        while (marks_left == 0) {
            if (++marks_block >= all_blocks)
                return npos;
            marks_left = block(marks_block).marks;
        }
        const std::size_t at =
            marks_block * SIZE + static_cast<std::size_t>(__builtin_ctzll(marks_left));
        marks_left &= marks_left - 1;
        return at;
    }

    // The first value end from `from`, or npos.
    std::size_t next_value_end(std::size_t from) {
        for (std::size_t b = from / SIZE; b < all_blocks; ++b) {
            const std::uint64_t found = block(b).value_ends >> (from - b * SIZE);
            if (found != 0)
                return from + static_cast<std::size_t>(__builtin_ctzll(found));
            from = (b + 1) * SIZE;
        }
        return npos;
    }

private:
    static constexpr std::size_t MOST_BYTES = TAG_LINES_REACH;
    static constexpr std::size_t MOST_BLOCKS = MOST_BYTES / SIZE;
    // Blocks found at once when the pass reaches one not found yet: a
    // scan's start tag, one attribute a line, mostly ends within the first
    // eight.
    static constexpr std::size_t FIRST_BATCH = 8;
    static constexpr std::size_t BATCH = 4;

    const TagMarks& block(std::size_t b) {
        if (b >= filled)
            fill(b);
        return blocks[b];
    }

    void fill(std::size_t b) {
        const std::size_t to =
            std::min(all_blocks, std::max(b + 1, filled + (filled == 0 ? FIRST_BATCH : BATCH)));
        const std::size_t whole = std::min(to, whole_blocks);
        if (whole > filled)
            find_tag_marks(path, bytes.data() + filled * SIZE, whole - filled, blocks + filled);
        if (to > whole) {
            // The last block of the text is read from a copy, never past
            // the text.
            char tail[SIZE];
            const std::size_t count = bytes.size() - whole * SIZE;
            std::memset(tail, 1, SIZE);
            std::memcpy(tail, bytes.data() + whole * SIZE, count);
            find_tag_marks(path, tail, 1, blocks + whole);
        }
        filled = to;
    }

    std::string_view bytes;
    VectorPath path;
    std::size_t whole_blocks = 0;
    std::size_t all_blocks = 0;
    std::size_t filled = 0; // blocks found so far
    TagMarks blocks[MOST_BLOCKS];
    std::size_t marks_block = 0; // the block the next marks are in
    std::uint64_t marks_left = 0;
};

} // namespace

bool read_tag_lines(std::string_view bytes, const AttributeNames& names, std::size_t longest_line,
                    TagLines& out) {
    out.length = 0;
    out.count = 0;
    const std::uint32_t all = (1u << names.size()) - 1;
    std::uint32_t open = all; // names not met yet in the current line
    std::size_t line_start = 0;
    bool closed = false;
    // The tag's own "<" starts the bytes; any other is another tag.
    ChunkBits bits(bytes, 1);
    for (std::size_t at = bits.next_mark(); at != npos; at = bits.next_mark()) {
        switch (bytes[at]) {
        case '>':
            closed = true;
            break;
        case '\n':
            if (at + 1 - line_start > longest_line)
                return false;
            if (closed) {
                out.length = at + 1;
                return true;
            }
            line_start = at + 1;
            open = all;
            break;
        case '=': {
            const std::size_t in_line = at - line_start;
            std::uint32_t candidates =
                open & (in_line > 0 ? names.ending_in(bytes[at - 1]) : names.ending_in('\0'));
            for (; candidates != 0; candidates &= candidates - 1) {
                const auto i = static_cast<std::size_t>(__builtin_ctz(candidates));
                if (in_line < names[i].size() || !names.stands_before(bytes, at, i))
                    continue;
                open &= ~(1u << i);
                // The value runs from after the opening quote to the next
                // quote; one that the line does not close (a line feed in
                // it, the opening quote's place included) is the line
                // reader's to judge.
                const std::size_t start = at + 2;
                if (start >= bytes.size() || bytes[at + 1] == '\n')
                    return false;
                const std::size_t end = bits.next_value_end(start);
                if (end == npos || bytes[end] != '"' || out.count == TagLines::MOST)
                    return false;
                out.values[out.count++] = {i, bytes.substr(start, end - start)};
            }
            break;
        }
        default: // "<" or NUL
            return false;
        }
    }
    return false;
}

} // namespace orvoeng
