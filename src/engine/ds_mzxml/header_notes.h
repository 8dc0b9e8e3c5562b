// Scan headers read on the read-ahead thread: for every scan of a block
// read ahead for the header pass whose first bytes the block holds whole,
// the header that one pass over those bytes gives, when its lines are
// plain. The reader's thread then takes the header where it would have
// read it from the same bytes, and reads any other itself.
#pragma once

#include "mzXMLReader.h"
#include "noted_scans.h"
#include "read_ahead.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace orvoeng {

// The most of a scan's first bytes a one-pass read of its header looks at.
inline constexpr std::int64_t PLAIN_HEADER_SPAN = 4096;

// The header of scan `scan_number` from `bytes`, its first bytes (at most
// PLAIN_HEADER_SPAN of them), when the start tag and the lines after it up
// to the peaks are plain: the values the line reader would read. False for
// any other scan, which the line reader reads.
bool plain_scan_header(std::string_view bytes, std::uint32_t scan_number, ScanHeader& header,
                       bool& centroided_met);

class HeaderNotes {
public:
    // `offsets`: the reader's scan index, which stays as it is while notes
    // are taken (the reader changes it only when the view is settled).
    explicit HeaderNotes(const std::vector<std::int64_t>& offsets) : index(offsets) {}

    void take(std::int64_t base, std::string_view bytes, const Gaps& gaps,
              const std::atomic<bool>& wanted) noexcept;
    void forget() noexcept { entries.clear(); }

    // The header of the scan at `begin` read from its first `length` bytes;
    // false when the notes hold none.
    bool find(std::int64_t begin, std::size_t length, ScanHeader& header,
              bool& centroided_met) const;

private:
    struct Entry {
        std::int64_t begin;
        std::size_t length;
        ScanHeader header;
        bool centroided_met;
    };
    const std::vector<std::int64_t>& index;
    NotedScans<Entry> entries;
};

} // namespace orvoeng
