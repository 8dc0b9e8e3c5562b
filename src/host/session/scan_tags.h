// What each scan's start tag, and the precursorMz element inside it, states
// beyond the plug-in's record: the values FileInfo and msconvert list next
// to the ones the plug-in hands over (peak count, base peak, precursor
// intensity, collision energy, filter line), and the precursor of an MS3 or
// deeper scan, whose m/z and charge the plug-in's record leaves out. The plug-in's interface has no
// room for them, so the host reads the tags itself, in one pass over the
// file that skips the peak text. Cheap to copy and safe to read from many
// threads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvohost {

// Each unset where the file does not give it, or gives no number.
struct ScanTagValues {
    std::optional<std::int64_t> peaks_count; // as declared, before the m/z floor
    std::optional<double> base_peak_mz;
    std::optional<double> base_peak_intensity;
    std::optional<double> precursor_intensity;
    std::optional<double> precursor_mz;           // the element's text
    std::optional<std::int64_t> precursor_charge; // as written, not checked
    std::optional<std::string> activation_method; // "CID", "ETD"... as written
    std::optional<double> collision_energy;
    std::optional<std::string> filter_line; // entities expanded
};

class ScanTags {
public:
    // Knows no scan.
    ScanTags() = default;
    // `by_position[i]` of the scan at position i + 1.
    explicit ScanTags(std::vector<ScanTagValues> by_position)
        : values(std::make_shared<const std::vector<ScanTagValues>>(std::move(by_position))) {}

    // The values of the scan start tag at 1-based `position` in file
    // order; all unset for a position the file has no tag for.
    const ScanTagValues& of(std::uint64_t position) const;

private:
    std::shared_ptr<const std::vector<ScanTagValues>> values;
};

// Reads every scan start tag of `path`; a file that cannot be read gives
// tags that know no scan.
ScanTags read_scan_tags(const std::filesystem::path& path);

} // namespace orvohost
