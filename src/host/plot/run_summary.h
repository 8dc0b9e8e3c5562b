// A run in figures, of the kind a person asks for before anything else:
// spectra per MS level, retention-time and precursor ranges, charges from
// the listing; peak counts, m/z and intensity ranges and the peak kind from
// the spectra themselves, which only a pass over every spectrum gives.
#pragma once

#include <ds/data_source_intf.h>
#include <ds/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvohost {

struct ValueRange {
    double lo;
    double hi;
};

class RunSummary {
public:
    // Each listed scan once, in any order.
    void add_scan(const orvoeng::ScanRecord& scan);
    // Each fetched spectrum once, after its scan.
    void add_spectrum(const orvoeng::ScanRecord& scan, const orvoeng::Spectrum& spectrum);

    std::map<std::int32_t, std::uint64_t> spectra_per_level;
    std::optional<ValueRange> rt;
    std::optional<ValueRange> precursor_mz;
    // Charges of the MS2 and later scans without their sign; 0 where the
    // file gives none.
    std::map<std::int32_t, std::uint64_t> charges;

    bool spectra_read() const { return !peak_counts.empty(); }
    std::uint64_t total_peaks = 0;
    std::optional<ValueRange> mz;
    std::optional<ValueRange> intensity;
    std::uint32_t fewest_peaks() const;
    std::uint32_t most_peaks() const;
    // The middle count, or the mean of the two middle ones.
    double median_peaks() const;
    // The kind of the spectra as their peaks show it (peak_kind_judge):
    // a level is of the kind of nine in ten of its judged spectra, else
    // "mixed"; a level whose spectra are all too short to judge takes what
    // the file states. "centroided" or "profile" when every level is so;
    // else each level's, as "MS1 profile, MS2 centroided".
    std::string peak_kind() const;
    // True or false when the kind is one for the whole run; nothing when
    // the levels differ or no spectrum was read.
    std::optional<bool> all_centroided() const;

private:
    struct Kinds {
        std::uint64_t judged_centroided = 0;
        std::uint64_t judged_profile = 0;
        std::uint64_t stated_centroided = 0;
        std::uint64_t stated_profile = 0;
        std::string text() const;
    };
    std::string whole_kind() const;

    std::vector<std::uint32_t> peak_counts;
    std::map<std::int32_t, Kinds> kinds;
};

// A count per key as "1:12 2:30", the keys ascending; `zero` names key 0.
std::string counts_text(const std::map<std::int32_t, std::uint64_t>& counts,
                        const char* zero = "0");

} // namespace orvohost
