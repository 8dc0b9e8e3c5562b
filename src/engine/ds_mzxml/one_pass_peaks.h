// The peaks of a plain scan, found and decoded in one pass, without a
// search of their peak text before the decoding. Plain: as writers write
// peaks, one peaks element with its attributes in its tag, a count above 0,
// uncompressed data that decode, followed by "</peaks>". Any other scan is
// left to the reader's exact way (peak_list.cpp), which has the rules for
// it; what is found here is what that way finds.
#pragma once

#include "tag_search.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace orvoeng {

// The scan's attributes a peak read takes, wherever in the scan they stand:
// the exact way looks for them over the whole scan, the one-pass way around
// the data.
inline constexpr std::string_view PEAK_SCAN_LIST[] = {"peaksCount", "centroided"};
inline constexpr AttributeNames PEAK_SCAN_NAMES(PEAK_SCAN_LIST);

struct PlainPeaks {
    std::int32_t count = 0; // the scan's peak count
    bool single = false;    // 32-bit values
    bool centroided_given = false;
    bool centroided = false;   // the scan's first centroided attribute, when given
    std::uint32_t values = 0;  // values decoded, stored big-endian
    std::size_t data_size = 0; // bytes of peak text
};

// Where `bytes` bytes of decoded values go.
using DecodeRoom = std::function<unsigned char*(std::size_t bytes)>;

// Whether a scan's bytes open with its whole start tag: "<scan", then a ">"
// before any NUL. Bytes that do not are no longer those of the scan the
// listing found there (the file was rewritten over it), and a scan whose tag
// is gone would read as one without peaks: no peaks are read from them.
bool opens_with_scan_tag(std::string_view text);

// The peaks of a plain scan `text` (its bytes from its start tag on); false
// for any other scan.
bool read_peaks_in_one_pass(std::string_view text, PlainPeaks& found, const DecodeRoom& room);

} // namespace orvoeng
