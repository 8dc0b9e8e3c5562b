#include "run_summary.h"

#include <host/session/record_values.h>

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace orvohost {

namespace {

void widen(std::optional<ValueRange>& range, double value) {
    if (!std::isfinite(value))
        return;
    if (!range)
        range = ValueRange{value, value};
    range->lo = std::min(range->lo, value);
    range->hi = std::max(range->hi, value);
}

} // namespace

void RunSummary::add_scan(const orvoeng::ScanRecord& scan) {
    const std::int32_t level = scan.scan_type.ms_level;
    ++spectra_per_level[level];
    widen(rt, scan.retention_time);
    if (level >= 2) {
        widen(precursor_mz, scan.precursor_mz);
        const auto charge = known_charge(scan);
        ++charges[charge ? std::abs(*charge) : 0];
    }
}

void RunSummary::add_spectrum(const orvoeng::ScanRecord& scan, const orvoeng::Spectrum& spectrum) {
    const auto& peaks = *spectrum.peaks;
    peak_counts.push_back(static_cast<std::uint32_t>(peaks.size()));
    total_peaks += peaks.size();
    for (const auto& peak : peaks) {
        widen(mz, peak.mz);
        widen(intensity, peak.intensity);
    }
    auto& kind = kinds[scan.scan_type.ms_level];
    ++(spectrum.peak_kind == 0 ? kind.first : kind.second);
}

std::uint32_t RunSummary::fewest_peaks() const {
    return peak_counts.empty() ? 0 : *std::min_element(peak_counts.begin(), peak_counts.end());
}

std::uint32_t RunSummary::most_peaks() const {
    return peak_counts.empty() ? 0 : *std::max_element(peak_counts.begin(), peak_counts.end());
}

double RunSummary::median_peaks() const {
    if (peak_counts.empty())
        return 0;
    std::vector<std::uint32_t> counts = peak_counts;
    const std::size_t half = counts.size() / 2;
    std::nth_element(counts.begin(), counts.begin() + static_cast<std::ptrdiff_t>(half),
                     counts.end());
    const double upper = counts[half];
    if (counts.size() % 2 == 1)
        return upper;
    const double lower =
        *std::max_element(counts.begin(), counts.begin() + static_cast<std::ptrdiff_t>(half));
    return (lower + upper) / 2;
}

std::string RunSummary::peak_kind() const {
    const auto kind_of = [](const std::pair<std::uint64_t, std::uint64_t>& counts) {
        return counts.second == 0 ? "centroided" : counts.first == 0 ? "profile" : "mixed";
    };
    std::string whole;
    std::string each;
    for (const auto& [level, counts] : kinds) {
        const std::string kind = kind_of(counts);
        whole = whole.empty() || whole == kind ? kind : "differs";
        each += fmt::format("{}MS{} {}", each.empty() ? "" : ", ", level, kind);
    }
    return whole == "differs" || whole == "mixed" ? each : whole;
}

std::string counts_text(const std::map<std::int32_t, std::uint64_t>& counts, const char* zero) {
    std::string text;
    for (const auto& [key, count] : counts) {
        if (!text.empty())
            text += ' ';
        text += key == 0 ? fmt::format("{}:{}", zero, count) : fmt::format("{}:{}", key, count);
    }
    return text;
}

} // namespace orvohost
