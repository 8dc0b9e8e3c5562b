#include "tag_lines.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvoeng {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Where the marks of a text are (the bytes that matter to the pass: a
// line's end, an attribute's "=", a tag's "<" or ">", a NUL) and the ends
// of its values (a closing quote, or a line feed before it), found 64
// bytes at a time: each byte is looked at once for both, and the next one
// from any place is a bit away, where a search from each mark would load
// the bytes after it again. Two blocks are kept, the one a mark is in and
// the one its value may run into.
class ChunkBits {
public:
    static constexpr std::size_t SIZE = 64;

    // The marks are given in order from `first`.
    ChunkBits(std::string_view text, std::size_t first) : bytes(text) {
        marks_start = first / SIZE * SIZE;
        if (first < bytes.size())
            marks_left = block(marks_start).marks >> (first - marks_start) << (first - marks_start);
    }

    // The next mark after the last one given, or npos.
    std::size_t next_mark() {
        while (marks_left == 0) {
            marks_start += SIZE;
            if (marks_start >= bytes.size())
                return npos;
            marks_left = block(marks_start).marks;
        }
        const std::size_t at = marks_start + static_cast<std::size_t>(__builtin_ctzll(marks_left));
        marks_left &= marks_left - 1;
        return at;
    }

    // The first value end from `from`, or npos.
    std::size_t next_value_end(std::size_t from) {
        while (from < bytes.size()) {
            const std::size_t start = from / SIZE * SIZE;
            const std::uint64_t found = block(start).value_ends >> (from - start);
            if (found != 0)
                return from + static_cast<std::size_t>(__builtin_ctzll(found));
            from = start + SIZE;
        }
        return npos;
    }

private:
    struct Block {
        std::size_t start = npos;
        std::uint64_t marks = 0;
        std::uint64_t value_ends = 0;
    };

    const Block& block(std::size_t start) {
        Block& kept = kept_blocks[(start / SIZE) & 1];
        if (kept.start != start)
            fill(kept, start);
        return kept;
    }

    void fill(Block& block, std::size_t start) const {
        block.start = start;
        const std::size_t count = std::min(SIZE, bytes.size() - start);
        const char* data = bytes.data() + start;
        // The last block of the text is read from a copy, never past the text.
        char tail[SIZE];
        if (count < SIZE) {
            std::memset(tail, 1, SIZE);
            std::memcpy(tail, data, count);
            data = tail;
        }
#if defined(__SSE2__)
        const __m128i feed = _mm_set1_epi8('\n');
        const __m128i equals = _mm_set1_epi8('=');
        const __m128i open = _mm_set1_epi8('<');
        const __m128i close = _mm_set1_epi8('>');
        const __m128i nul = _mm_setzero_si128();
        const __m128i quote = _mm_set1_epi8('"');
        std::uint64_t marks = 0;
        std::uint64_t value_ends = 0;
        for (std::size_t i = 0; i < SIZE; i += 16) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            const __m128i feeds = _mm_cmpeq_epi8(chunk, feed);
            const __m128i hits =
                _mm_or_si128(_mm_or_si128(feeds, _mm_cmpeq_epi8(chunk, equals)),
                             _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, open),
                                                       _mm_cmpeq_epi8(chunk, close)),
                                          _mm_cmpeq_epi8(chunk, nul)));
            const __m128i ends = _mm_or_si128(feeds, _mm_cmpeq_epi8(chunk, quote));
            marks |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hits)))
                     << i;
            value_ends |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(ends)))
                          << i;
        }
        block.marks = marks;
        block.value_ends = value_ends;
#else
        block.marks = 0;
        block.value_ends = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const char c = data[i];
            const bool mark = c == '\n' || c == '=' || c == '<' || c == '>' || c == '\0';
            block.marks |= static_cast<std::uint64_t>(mark) << i;
            block.value_ends |= static_cast<std::uint64_t>(c == '"' || c == '\n') << i;
        }
#endif
    }

    std::string_view bytes;
    Block kept_blocks[2];
    std::size_t marks_start = 0; // of the block the next marks are in
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
