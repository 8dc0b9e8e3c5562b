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
                entries.add(entry);
        }
    } catch (...) {
        // Notes are a help only: without them the reader does the work.
        entries.clear();
    }
}

bool HeaderNotes::find(std::int64_t begin, std::size_t length, ScanHeader& header,
                       bool& centroided_met) const {
    const Entry* entry = entries.find(begin, length);
    if (!entry)
        return false;
    header = entry->header;
    centroided_met = entry->centroided_met;
    return true;
}

} // namespace orvoeng
