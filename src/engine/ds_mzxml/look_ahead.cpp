#include "look_ahead.h"

#include "one_pass_header.h"

#include <algorithm>
#include <new>

namespace orvoeng {

namespace {

// Whether [from, from + count) touches one of `gaps`.
bool touches_gap(const Gaps& gaps, std::int64_t from, std::int64_t count) {
    return std::any_of(gaps.begin(), gaps.end(),
                       [&](const std::pair<std::int64_t, std::int64_t>& g) {
                           return g.first < from + count && from < g.second;
                       });
}

} // namespace

const LookAhead::Scan* LookAhead::Block::find(std::int64_t begin) const {
    // The reader asks in the walk's order, so a find mostly looks at one scan.
    if (next >= scans.size() || scans[next].begin != begin) {
        const auto at = std::lower_bound(
            scans.begin(), scans.end(), begin,
            [](const Scan& scan, std::int64_t wanted) { return scan.begin < wanted; });
        next = static_cast<std::size_t>(at - scans.begin());
    }
    if (next >= scans.size() || scans[next].begin != begin)
        return nullptr;
    return &scans[next++];
}

const HeaderValues* LookAhead::header(std::int64_t begin, std::size_t length) const {
    const Scan* scan = blocks[held_block].find(begin);
    return scan && scan->header_read && scan->header_length == length ? &scan->header : nullptr;
}

const PlainPeaks* LookAhead::peaks(std::int64_t begin, std::size_t length,
                                   const unsigned char*& values) const {
    const Block& block = blocks[held_block];
    const Scan* scan = block.find(begin);
    if (!scan || !scan->peaks_read || scan->length != length)
        return nullptr;
    values = block.decoded.get() + scan->values_at;
    return &scan->peaks;
}

void LookAhead::starting(std::int64_t) noexcept {
    // The reader's thread: no read ahead is in flight, so the block to be
    // read ahead is free to clear.
    Block& ahead = blocks[1 - held_block];
    ahead.clear();
    ahead.work = wanted_work;
}

void LookAhead::held(bool ahead) noexcept {
    if (ahead)
        held_block = 1 - held_block;
    else
        blocks[held_block].clear();
}

void LookAhead::read(std::int64_t base, std::string_view bytes, const Gaps& gaps,
                     const std::atomic<bool>& wanted) noexcept {
    Block& block = blocks[1 - held_block];
    try {
        walk(block, base, bytes, gaps, wanted);
    } catch (...) {
        // The look-ahead is a help only: without it the reader does the work.
        block.clear();
    }
}

void LookAhead::walk(Block& block, std::int64_t base, std::string_view bytes, const Gaps& gaps,
                     const std::atomic<bool>& wanted) {
    if ((!block.work.headers && !block.work.peaks) || index.size() < 2)
        return;
    const std::int64_t end = base + static_cast<std::int64_t>(bytes.size());
    const auto last = index.end() - 1;
    auto at = std::lower_bound(index.begin(), last, base);
    // Peaks are decoded from whole bytes only. Their values take at most
    // three bytes for four of text, and each scan's room one value more.
    const bool peaks = block.work.peaks && gaps.empty();
    std::size_t used = 0;
    if (peaks) {
        const std::size_t most =
            bytes.size() / 4 * 3 + 16 * static_cast<std::size_t>(last - at + 1);
        if (block.capacity < most) {
            block.decoded.reset();
            block.capacity = 0;
            block.decoded = std::make_unique_for_overwrite<unsigned char[]>(most);
            block.capacity = most;
        }
    }
    const DecodeRoom room = [&](std::size_t size) -> unsigned char* {
        if (block.capacity - used < size)
            throw std::bad_alloc();
        return block.decoded.get() + used;
    };
    // The scans that start in the block, in order, until the reader wants
    // the block. What the loop needs of the reader's fields is read once:
    // its stores would otherwise have each read again for every scan, and
    // the reader's thread writes beside them at every scan it reads, which
    // would pull their cache lines back and forth between the cores.
    const bool to_the_end = thorough;
    const bool headers = block.work.headers;
    const auto first = index.begin();
    for (; at != last && (to_the_end || !wanted.load(std::memory_order_relaxed)); ++at) {
        const std::int64_t begin = *at;
        const std::int64_t finish = *(at + 1);
        if (finish < begin)
            break;
        const auto length = static_cast<std::size_t>(finish - begin);
        const std::size_t header_length = std::min(length, ONE_PASS_HEADER_SPAN);
        if (begin + static_cast<std::int64_t>(header_length) > end)
            break;
        const auto from = static_cast<std::size_t>(begin - base);
        const auto position = static_cast<std::uint32_t>(at - first) + 1;
        // Made in place, and dropped when nothing was read of it.
        Scan& scan = block.scans.emplace_back();
        scan.begin = begin;
        scan.length = length;
        scan.header_length = header_length;
        if (headers && !touches_gap(gaps, begin, static_cast<std::int64_t>(header_length))) {
            const OnePassHeader read =
                read_header_in_one_pass(bytes.substr(from, header_length), position);
            scan.header_read = read.read == OnePassHeader::Read::WHOLE;
            scan.header = read.values;
        }
        if (peaks && finish <= end) {
            scan.values_at = used;
            const std::string_view text = bytes.substr(from, length);
            scan.peaks_read =
                opens_with_scan_tag(text) && read_peaks_in_one_pass(text, scan.peaks, room);
            if (scan.peaks_read)
                used += scan.peaks.values * (scan.peaks.single ? 4 : 8);
        }
        if (!scan.header_read && !scan.peaks_read)
            block.scans.pop_back();
    }
}

} // namespace orvoeng
