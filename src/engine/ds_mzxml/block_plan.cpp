// Block planning: how far each operation's refills read, what they read
// ahead, and what they leave unread, from the scan index. Scans read in
// order cost a read per block, never a read per scan.
#include "mzXMLReader.h"

#include <algorithm>

namespace orvoeng {

namespace {

// What a header read of a scan larger than a block reads at first: its
// start tag, not its peak data.
constexpr std::int64_t HEADER_READ = 4096;
// The least a header read leaves unread of a scan's peak data: less is
// cheaper copied than skipped with a read of its own.
constexpr std::int64_t LEAST_GAP = 16384;

} // namespace

bool MzXMLReader::scan_range(std::uint32_t scan_number, std::int64_t& begin,
                             std::int64_t& end) const {
    if (scan_number == 0 || scan_number >= index.size())
        return false;
    const std::int64_t first = index[scan_number - 1];
    const std::int64_t last = index[scan_number];
    // An index whose next entry comes first, or that points past the end of
    // the file, cannot bound the scan.
    if (first < 0 || last < first || last > view.size())
        return false;
    begin = first;
    end = last;
    return true;
}

std::int64_t MzXMLReader::read_ahead_end(std::uint32_t scan_number) const {
    // The following scans that fit whole in one block come with this one,
    // so reading scans in order costs a read per block, while a scan too
    // large for a block is read alone.
    const std::int64_t begin = index[scan_number - 1];
    const std::int64_t limit = begin + static_cast<std::int64_t>(FileView::BLOCK);
    const auto from = index.begin() + scan_number;
    // Scans are asked for in order: the bound of the next scan is the last
    // one or a few entries after it, where a search of the whole index
    // would take a score of steps, each a cache miss. Only on an index in
    // order to its end (a search for scan starts may end it with an earlier
    // offset) do the two give the same.
    constexpr std::size_t STEPS = 8;
    auto after = index.end();
    if (scan_number == ahead_scan + 1 && ahead_after >= scan_number &&
        index.back() >= index[index.size() - 2]) {
        std::size_t at = ahead_after;
        while (at < index.size() && index[at] <= limit && at - ahead_after < STEPS)
            ++at;
        after = index.begin() + static_cast<std::ptrdiff_t>(at);
        if (at < index.size() && index[at] <= limit)
            after = std::upper_bound(after, index.end(), limit);
    } else {
        after = std::upper_bound(from, index.end(), limit);
    }
    ahead_scan = scan_number;
    ahead_after = static_cast<std::size_t>(after - index.begin());
    return after == from ? index[scan_number] : std::max(*(after - 1), index[scan_number]);
}

void MzXMLReader::start_header_read(std::uint32_t scan_number) {
    const std::int64_t begin = index[scan_number - 1];
    const std::int64_t ahead = read_ahead_end(scan_number);
    // A scan larger than a block is read alone, its start tag first.
    const std::int64_t end = ahead - begin > static_cast<std::int64_t>(FileView::BLOCK)
                                 ? std::min(index[scan_number], begin + HEADER_READ)
                                 : ahead;
    start_operation(end, AheadWork{.headers = true}, true);
}

void MzXMLReader::start_peak_read(std::uint32_t scan_number) {
    start_operation(read_ahead_end(scan_number), AheadWork{.peaks = true}, false);
}

void MzXMLReader::prefetch_next_scan(std::uint32_t scan_number, std::int64_t most) const {
    if (scan_number + 1 >= index.size())
        return;
    const std::int64_t from = index[scan_number];
    const std::int64_t length = std::min(index[scan_number + 1] - from, most);
    // An index that does not rise bounds no next scan.
    if (length > 0)
        view.prefetch(from, static_cast<std::size_t>(length));
}

void MzXMLReader::header_gaps(std::int64_t from, std::int64_t end, Gaps& gaps) const {
    if (!header_read_gaps || index.size() < 2 || from >= end)
        return;
    const auto last = index.end() - 1;
    // The scan that holds `from`, or the first after it.
    auto at = std::upper_bound(index.begin(), last, from);
    if (at != index.begin())
        --at;
    for (; at != last && *at < end; ++at) {
        const std::int64_t skip_from = std::max(*at + HEADER_READ, from);
        const std::int64_t skip_to = std::min(*(at + 1), end);
        if (skip_to - skip_from >= LEAST_GAP)
            gaps.emplace_back(skip_from, skip_to);
    }
}

std::int64_t MzXMLReader::refill_end_from(std::int64_t from) const {
    // A scan read refills from its scan's start, up to read_ahead_end; a
    // scan larger than a block is read otherwise and is not foreseen.
    if (index.size() < 2)
        return from;
    const auto last = index.end() - 1;
    const auto at = std::lower_bound(index.begin(), last, from);
    if (at == last || *at != from || *(at + 1) - from > static_cast<std::int64_t>(FileView::BLOCK))
        return from;
    return read_ahead_end(static_cast<std::uint32_t>(at - index.begin()) + 1);
}

} // namespace orvoeng
