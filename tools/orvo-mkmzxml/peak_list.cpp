#include "peak_list.h"

#include <algorithm>

namespace mkmzxml {

namespace {

constexpr double to_unit(std::uint64_t bits, int width) {
    return static_cast<double>(bits) / static_cast<double>(std::uint64_t{1} << width);
}

double rounded(double value, bool single) {
    return single ? static_cast<double>(static_cast<float>(value)) : value;
}

} // namespace

void make_peaks(Random& random, std::uint32_t count, double low, double high, double scale,
                bool single, PeakList& peaks) {
    peaks.mz.resize(count);
    peaks.intensity.resize(count);
    // One peak in each of `count` equal slots, kept off the slot edges: m/z
    // ascend without a sort, and neighbours stay apart by a tenth of a slot,
    // more than a float's spacing for every allowed count (MAX_PEAKS).
    const double slot = (high - low) / count;
    double tic = 0;
    std::uint32_t base = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t bits = random.next();
        const double place = 0.05 + 0.9 * to_unit(bits >> 40, 24);
        const double a = to_unit((bits >> 20) & 0xFFFFF, 20);
        const double b = to_unit(bits & 0xFFFFF, 20);
        peaks.mz[i] = rounded(low + (i + place) * slot, single);
        // Mostly small peaks with a few tall ones, as in a real spectrum.
        const double intensity = rounded(scale * (0.001 + a * a * a * b), single);
        peaks.intensity[i] = intensity;
        tic += intensity;
        if (intensity > peaks.intensity[base])
            base = i;
    }
    peaks.low_mz = peaks.mz.front();
    peaks.high_mz = peaks.mz.back();
    peaks.base_peak_mz = peaks.mz[base];
    peaks.base_peak_intensity = peaks.intensity[base];
    peaks.tot_ion_current = tic;
}

Precursor pick_precursor(Random& random, const PeakList& survey) {
    const auto& mz = survey.mz;
    auto first = std::lower_bound(mz.begin(), mz.end(), 300.0);
    auto last = std::lower_bound(first, mz.end(), 1500.0);
    if (first == last) {
        first = mz.begin();
        last = mz.end();
    }
    const auto offset = static_cast<std::size_t>(first - mz.begin());
    const auto span = static_cast<std::uint32_t>(last - first);
    std::size_t best = offset + random.below(span);
    for (int candidate = 1; candidate < 4; ++candidate) {
        const std::size_t i = offset + random.below(span);
        if (survey.intensity[i] > survey.intensity[best])
            best = i;
    }
    // Mostly doubly and triply charged, some quadruply, and some whose
    // charge the instrument could not tell.
    static constexpr int charges[20] = {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 4, 0, 0, 0};
    return {mz[best], survey.intensity[best], charges[random.below(20)]};
}

} // namespace mkmzxml
