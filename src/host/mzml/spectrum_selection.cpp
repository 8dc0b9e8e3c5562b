#include "spectrum_selection.h"

#include <host/session/record_values.h>

namespace orvohost::mzml {

SpectrumSelection::SpectrumSelection(const std::vector<orvoeng::ScanRecord>& scans,
                                     const std::function<bool(const orvoeng::ScanRecord&)>& selects,
                                     ScanNumbers file_numbers)
    : listed(&scans), numbers(std::move(file_numbers)), index_at(scans.size(), NOT_SELECTED) {
    for (std::size_t position = 0; position < scans.size(); ++position) {
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
