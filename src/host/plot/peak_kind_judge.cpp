#include "peak_kind_judge.h"

#include <algorithm>

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
    // One pass and no allocation: it runs on every spectrum of a run. A step
    // is even when it is within 10% of the step before or after it; the
    // median relative step is at most the finest share when at least half
    // of the steps and one are.
    const std::size_t count = peaks.size() - 1;
    std::size_t evens = 0;
    std::size_t fine_steps = 0;
    double previous = 0;
    bool previous_pair_even = false;
    for (std::size_t i = 1; i < peaks.size(); ++i) {
        const double step = peaks[i].mz - peaks[i - 1].mz;
        const double relative = peaks[i - 1].mz > 0 ? step / peaks[i - 1].mz : 1.0;
        fine_steps += relative <= FINEST_SHARE_OF_MZ ? 1U : 0U;
        if (i > 1) {
            const bool pair_even = even(previous, step);
            evens += previous_pair_even || pair_even ? 1U : 0U;
            previous_pair_even = pair_even;
        }
        previous = step;
    }
    evens += previous_pair_even ? 1U : 0U;
    const bool fine = fine_steps >= count / 2 + 1;
    const bool regular = static_cast<double>(evens) >= EVEN_SHARE * static_cast<double>(count);
    return fine && regular ? PeakKind::PROFILE : PeakKind::CENTROIDED;
}

} // namespace orvohost
