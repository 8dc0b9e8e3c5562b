// What notes hold on the scans of one block: an entry a scan, in file
// order, found by the scan's first byte and length. The reader asks for
// them in the same order, so a find mostly looks at one entry.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvoeng {

// `Entry` has the scan's `begin` (file offset) and `length`.
template <class Entry>
class NotedScans {
public:
    void clear() noexcept {
        entries.clear();
        next = 0;
    }
    void add(const Entry& entry) { entries.push_back(entry); }

    // The entry of the scan of `length` bytes at `begin`; null when none.
    const Entry* find(std::int64_t begin, std::size_t length) const {
        if (next >= entries.size() || entries[next].begin != begin) {
            const auto at =
                std::lower_bound(entries.begin(), entries.end(), begin,
                                 [](const Entry& e, std::int64_t b) { return e.begin < b; });
            next = static_cast<std::size_t>(at - entries.begin());
        }
        if (next >= entries.size() || entries[next].begin != begin ||
            entries[next].length != length)
            return nullptr;
        return &entries[next++];
    }

private:
    std::vector<Entry> entries;
    mutable std::size_t next = 0; // where the next find looks first
};

} // namespace orvoeng
