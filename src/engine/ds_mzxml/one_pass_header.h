// A scan header read in one pass over the scan's first bytes, where they are
// plain: laid out as writers lay them out (each line whole in those bytes,
// shorter than a line read, without NUL, a precursor closed on its own
// line), so that the pass meets the very values, in the very order, that
// the exact reader (scan_header.cpp) meets line by line. Where they are not,
// the exact reader reads the header; a start tag read whole is handed to it,
// so that it goes on from the line after the tag.
#pragma once

#include "header_values.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orvoeng {

// The most of a scan's first bytes a one-pass read looks at.
inline constexpr std::size_t ONE_PASS_HEADER_SPAN = 4096;

// What one pass over a scan's first bytes read.
struct OnePassHeader {
    enum class Read {
        NOTHING,   // the start tag's lines are not plain, or not this scan's
        START_TAG, // the start tag alone: `values` hold its values
        WHOLE,     // the header, up to and including the peaks line
    };
    Read read = Read::NOTHING;
    HeaderValues values;
    // START_TAG: the bytes of the start tag's lines, where the exact reader
    // goes on.
    std::size_t tag_length = 0;
};

// `bytes`: the first bytes of the scan at 1-based position `scan_number`,
// at most ONE_PASS_HEADER_SPAN of them.
OnePassHeader read_header_in_one_pass(std::string_view bytes, std::uint32_t scan_number);

} // namespace orvoeng
