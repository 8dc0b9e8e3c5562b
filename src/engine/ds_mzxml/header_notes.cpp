#include "header_notes.h"

#include <algorithm>

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

void HeaderNotes::take(std::int64_t base, std::string_view bytes, const Gaps& gaps,
                       const std::atomic<bool>& wanted) noexcept {
    entries.clear();
    next = 0;
    if (index.size() < 2)
        return;
    const std::int64_t end = base + static_cast<std::int64_t>(bytes.size());
    const auto last = index.end() - 1;
    try {
        // Scans in order, until the reader wants the block: it reads the
        // headers not noted by then.
        for (auto at = std::lower_bound(index.begin(), last, base);
             at != last && !wanted.load(std::memory_order_relaxed); ++at) {
            const std::int64_t begin = *at;
            const std::int64_t finish = *(at + 1);
            if (finish < begin)
                break;
            const std::int64_t length = std::min(finish - begin, PLAIN_HEADER_SPAN);
            if (begin + length > end)
                break;
            if (touches_gap(gaps, begin, length))
                continue;
            Entry entry{begin, static_cast<std::size_t>(length), {}, false};
            const auto scan_number = static_cast<std::uint32_t>(at - index.begin()) + 1;
            if (plain_scan_header(
                    bytes.substr(static_cast<std::size_t>(begin - base), entry.length), scan_number,
                    entry.header, entry.centroided_met))
                entries.push_back(entry);
        }
    } catch (...) {
        // Notes are a help only: without them the reader does the work.
        entries.clear();
    }
}

bool HeaderNotes::find(std::int64_t begin, std::size_t length, ScanHeader& header,
                       bool& centroided_met) const {
    if (next >= entries.size() || entries[next].begin != begin) {
        const auto at =
            std::lower_bound(entries.begin(), entries.end(), begin,
                             [](const Entry& e, std::int64_t b) { return e.begin < b; });
        next = static_cast<std::size_t>(at - entries.begin());
    }
    if (next >= entries.size() || entries[next].begin != begin || entries[next].length != length)
        return false;
    header = entries[next].header;
    centroided_met = entries[next].centroided_met;
    ++next;
    return true;
}

} // namespace orvoeng
