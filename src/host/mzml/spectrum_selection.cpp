#include "spectrum_selection.h"

#include <host/session/record_values.h>

#include <algorithm>
#include <array>

namespace orvohost::mzml {

SpectrumSelection::SpectrumSelection(const std::vector<orvoeng::ScanRecord>& scans,
                                     const std::function<bool(const orvoeng::ScanRecord&)>& selects,
                                     ScanNumbers file_numbers, ScanTags file_tags)
    : listed(&scans), numbers(std::move(file_numbers)), scan_tags(std::move(file_tags)),
      index_at(scans.size(), NOT_SELECTED) {
    // The latest position of each MS level so far (levels are 1 to 16).
    std::array<std::uint32_t, 17> latest{};
    latest.fill(NOT_SELECTED);
    for (std::size_t position = 0; position < scans.size(); ++position) {
        const int level = scans[position].scan_type.ms_level;
        if (level >= 3 && latest[static_cast<std::size_t>(level - 1)] != NOT_SELECTED)
            deep_parents.emplace_back(static_cast<std::uint32_t>(position),
                                      latest[static_cast<std::size_t>(level - 1)]);
        if (level >= 1 && level < static_cast<int>(latest.size()))
            latest[static_cast<std::size_t>(level)] = static_cast<std::uint32_t>(position);
        if (!selects(scans[position]))
            continue;
        index_at[position] = static_cast<std::uint32_t>(positions.size());
        positions.push_back(static_cast<std::uint32_t>(position));
        ms1 += scans[position].scan_type.ms_level == 1 ? 1U : 0U;
    }
}

std::optional<std::size_t> SpectrumSelection::index_of(const orvoeng::ScanRecord& scan) const {
    const auto position = static_cast<std::size_t>(&scan - listed->data());
    if (position >= index_at.size() || index_at[position] == NOT_SELECTED)
        return std::nullopt;
    return index_at[position];
}

const orvoeng::ScanRecord* SpectrumSelection::parent(const orvoeng::ScanRecord& scan) const {
    if (scan.scan_type.ms_level >= 3) {
        const auto position = static_cast<std::uint32_t>(&scan - listed->data());
        const auto at = std::lower_bound(deep_parents.begin(), deep_parents.end(),
                                         std::pair{position, std::uint32_t{0}});
        if (at == deep_parents.end() || at->first != position)
            return nullptr;
        return &(*listed)[at->second];
    }
    const auto label = known_parent(scan);
    if (!label || listed->empty() || *label < listed->front().label)
        return nullptr;
    const std::size_t position = *label - listed->front().label;
    if (position >= listed->size() || (*listed)[position].label != *label)
        return nullptr;
    return &(*listed)[position];
}

bool SpectrumSelection::in_chromatogram(std::size_t index) const {
    return ms1 == 0 || scan(index).scan_type.ms_level == 1;
}

} // namespace orvohost::mzml
