// The peaks of a scan as writers write them, found and decoded without a
// search of their peak text before the decoding: one peaks element with
// its attributes in its tag, a count above 0, uncompressed data that
// decode, followed by "</peaks>". Any other scan is left to the reader's
// exact way, which has the rules for it; what is found here is what that
// way finds.
//
// PeakNotes does the same work on the read-ahead thread for every scan of
// a block read ahead for peak reads (as part of ScanNotes), so the reader's
// thread finds the values decoded when it comes to the scan.
#pragma once

#include "file_view.h"
#include "noted_scans.h"
#include "tag_search.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace orvoeng {

// The scan's attributes a peak read takes, wherever in the scan they stand:
// the exact way looks for them over the whole scan, the plain way around
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

// The peaks of a plain scan `text` (its bytes from its start tag on); false
// for any other scan.
bool find_plain_peaks(std::string_view text, PlainPeaks& found, const DecodeRoom& room);

// Notes on the plain scans that a block holds whole, their values decoded.
class PeakNotes {
public:
    // `offsets`: the reader's scan index, which stays as it is while notes
    // are taken (the reader changes it only when the view is settled).
    explicit PeakNotes(const std::vector<std::int64_t>& offsets) : index(offsets) {}

    // The bytes read ahead at `base`, whole; the notes end once `wanted`.
    void take(std::int64_t base, std::string_view bytes, const std::atomic<bool>& wanted) noexcept;
    void forget() noexcept { entries.clear(); }

    // The plain scan of `length` bytes at `begin`, with its decoded values;
    // false when the notes hold none.
    bool find(std::int64_t begin, std::size_t length, PlainPeaks& found,
              const unsigned char*& values) const;

private:
    struct Entry {
        std::int64_t begin;
        std::size_t length;
        PlainPeaks found;
        std::size_t at; // of its values in `decoded`
    };
    const std::vector<std::int64_t>& index;
    NotedScans<Entry> entries;
    std::unique_ptr<unsigned char[]> decoded;
    std::size_t capacity = 0;
};

} // namespace orvoeng
