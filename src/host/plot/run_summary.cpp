#include "run_summary.h"

#include "peak_kind_judge.h"

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
    if (const auto judged = judge_peak_kind(peaks))
        ++(*judged == PeakKind::CENTROIDED ? kind.judged_centroided : kind.judged_profile);
    else
        ++(spectrum.peak_kind == 0 ? kind.stated_centroided : kind.stated_profile);
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

// A level's kind: that of nine in ten of its judged spectra, since a few
// nearly empty scans of a profile run read as sticks; without any judged,
// what the file states of all.
std::string RunSummary::Kinds::text() const {
    if (judged_centroided + judged_profile > 0) {
        const std::uint64_t all = judged_centroided + judged_profile;
        return judged_profile * 10 <= all      ? "centroided"
               : judged_centroided * 10 <= all ? "profile"
                                               : "mixed";
    }
    return stated_profile == 0 ? "centroided" : stated_centroided == 0 ? "profile" : "mixed";
}

// The one kind of every level, "differs" when they are not one.
std::string RunSummary::whole_kind() const {
    std::string whole;
    for (const auto& [level, counts] : kinds) {
        const std::string kind = counts.text();
        whole = whole.empty() || whole == kind ? kind : "differs";
    }
    return whole;
}

std::string RunSummary::peak_kind() const {
    const std::string whole = whole_kind();
    if (whole != "differs" && whole != "mixed")
        return whole;
    std::string each;
    for (const auto& [level, counts] : kinds)
        each += fmt::format("{}MS{} {}", each.empty() ? "" : ", ", level, counts.text());
    return each;
}

std::optional<bool> RunSummary::all_centroided() const {
    const std::string whole = whole_kind();
    if (whole == "centroided" || whole == "profile")
        return whole == "centroided";
    return std::nullopt;
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
