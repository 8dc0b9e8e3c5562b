#include "peak_kind_judge.h"

#include <algorithm>
#include <vector>

namespace orvohost {

namespace {

constexpr std::size_t FEWEST_PEAKS = 10;
constexpr double EVEN = 1.1;
constexpr double EVEN_SHARE = 0.6;
constexpr double FINEST_SHARE_OF_MZ = 1e-3;

bool even(double a, double b) {
    return a > 0 && b > 0 && std::max(a, b) <= EVEN * std::min(a, b);
}

} // namespace

std::optional<PeakKind> judge_peak_kind(std::span<const orvoeng::Peak> peaks) {
    if (peaks.size() < FEWEST_PEAKS)
        return std::nullopt;
    std::vector<double> steps;
    std::vector<double> relative;
    steps.reserve(peaks.size() - 1);
    relative.reserve(peaks.size() - 1);
    for (std::size_t i = 1; i < peaks.size(); ++i) {
        steps.push_back(peaks[i].mz - peaks[i - 1].mz);
        relative.push_back(peaks[i - 1].mz > 0 ? steps.back() / peaks[i - 1].mz : 1.0);
    }
    std::size_t evens = 0;
    for (std::size_t i = 0; i < steps.size(); ++i)
        if ((i > 0 && even(steps[i], steps[i - 1])) ||
            (i + 1 < steps.size() && even(steps[i], steps[i + 1])))
            ++evens;
    const auto middle = relative.begin() + static_cast<std::ptrdiff_t>(relative.size() / 2);
    std::nth_element(relative.begin(), middle, relative.end());
    const bool fine = *middle <= FINEST_SHARE_OF_MZ;
    const bool regular =
        static_cast<double>(evens) >= EVEN_SHARE * static_cast<double>(steps.size());
    return fine && regular ? PeakKind::PROFILE : PeakKind::CENTROIDED;
}

} // namespace orvohost
