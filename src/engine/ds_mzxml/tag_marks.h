// Where the bytes that a one-pass read of a start tag stops at stand, 64
// bytes at a time: each byte is looked at once, with the widest vector
// instructions the processor has (vector_path.h).
#pragma once

#include "vector_path.h"

#include <cstddef>
#include <cstdint>

namespace orvoeng {

// One 64-byte block: bit i stands for its byte i. Left unset when made, as
// blocks are kept in arrays that are filled only as far as they are read.
struct TagMarks {
    // A line feed, "=", "<", ">" or NUL: what the read stops at.
    std::uint64_t marks;
    // A double quote or a line feed: where a value ends, or is cut.
    std::uint64_t value_ends;
};

// The marks of the `blocks` whole 64-byte blocks at `data`, into `out`, by
// the given path (each gives the same bits; the tests hold them to it).
void find_tag_marks(VectorPath path, const char* data, std::size_t blocks, TagMarks* out);

} // namespace orvoeng
