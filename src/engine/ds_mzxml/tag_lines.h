// A start tag written one attribute a line, read in one pass.
//
// The exact reader reads such a tag a line at a time, and in each line looks
// for every name's first occurrence. When the tag's lines are plain (each
// shorter than a line read, no NUL, no other tag among them, every value
// closed on its own line) the same occurrences come out of one pass over
// the tag's bytes that notes where lines end. Whatever is not plain is left
// to the exact reader, which has the rules for it.
#pragma once

#include "tag_search.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orvoeng {

// The bytes a one-pass read of a tag looks at, at most: a tag whose lines
// run past them is the exact reader's.
inline constexpr std::size_t TAG_LINES_REACH = 4096;

struct TagLines {
    // Occurrences kept at most; a tag with more is left to the exact reader.
    static constexpr std::size_t MOST = 32;
    struct Value {
        std::size_t name; // index in the names looked for
        std::string_view value;
    };
    // The bytes of the whole lines read: from the start up to and including
    // the line feed of the line that holds the first ">". 0 when the lines
    // are not plain.
    std::size_t length = 0;
    std::size_t count = 0;
    Value values[MOST];
};

// The first occurrence of each of `names` in each line, in the order the
// line reader would meet them, from the lines that begin at `bytes`' start
// and end with the one holding the first ">" after it, within the first
// TAG_LINES_REACH bytes. A line, line feed included, may be at most
// `longest_line` bytes. False (`out.length` 0) when the lines are not plain.
bool read_tag_lines(std::string_view bytes, const AttributeNames& names, std::size_t longest_line,
                    TagLines& out);

} // namespace orvoeng
