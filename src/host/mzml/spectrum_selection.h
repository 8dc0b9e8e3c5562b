// The spectra one mzML file holds: the listed scans a filter selects, in
// file order, each with its index in the file. Known before any spectrum is
// fetched, so that the spectrum list states its count up front and a
// precursor can tell whether its parent scan is written too.
#pragma once

#include <host/session/scan_numbers.h>
#include <host/session/scan_tags.h>

#include <ds/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace orvohost::mzml {

class SpectrumSelection {
public:
    // `scans` (the plug-in's listing, labels consecutive in file order)
    // must outlive the selection; `numbers` are the nums the source file
    // gives them, `tags` what their start tags state.
    SpectrumSelection(const std::vector<orvoeng::ScanRecord>& scans,
                      const std::function<bool(const orvoeng::ScanRecord&)>& selects,
                      ScanNumbers numbers = {}, ScanTags tags = {});

    std::size_t size() const { return positions.size(); }
    const orvoeng::ScanRecord& scan(std::size_t index) const { return (*listed)[positions[index]]; }
    // The index of a scan of the listing; none when it is not selected.
    std::optional<std::size_t> index_of(const orvoeng::ScanRecord& scan) const;

    // The N of the scan's native id "scan=N": the file's own num, so that
    // an id names the scan of the file the person has; the label where the
    // file gives none.
    std::int64_t native_number(const orvoeng::ScanRecord& scan) const {
        return numbers.of(scan.file_position).value_or(scan.label);
    }

    const ScanTagValues& tags(const orvoeng::ScanRecord& scan) const {
        return scan_tags.of(scan.file_position);
    }

    bool has_ms1() const { return ms1 > 0; }
    bool has_msn() const { return positions.size() > ms1; }

    // The scan an MSn scan was picked from: for MS2 the plug-in's parent
    // label, for a deeper scan (which the plug-in gives no parent) the
    // nearest scan of the level above it before it in the file. None when
    // there is no such scan.
    const orvoeng::ScanRecord* parent(const orvoeng::ScanRecord& scan) const;

    // Whether the spectrum at `index` is a point of the total ion current
    // chromatogram: the MS1 spectra when there are any, else every one.
    bool in_chromatogram(std::size_t index) const;

private:
    static constexpr std::uint32_t NOT_SELECTED = UINT32_MAX;

    const std::vector<orvoeng::ScanRecord>* listed;
    ScanNumbers numbers;
    ScanTags scan_tags;
    // Of each scan of MS level 3 or more that has a parent, in file order:
    // its position and its parent's. Few files have any.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> deep_parents;
    std::vector<std::uint32_t> positions; // of each index in the listing
    std::vector<std::uint32_t> index_at;  // of each position, or NOT_SELECTED
    std::size_t ms1 = 0;
};

} // namespace orvohost::mzml
