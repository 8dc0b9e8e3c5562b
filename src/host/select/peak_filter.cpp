#include "peak_filter.h"

#include <algorithm>

namespace orvohost {

std::vector<orvoeng::Peak> PeakFilter::apply(const std::vector<orvoeng::Peak>& peaks) const {
    std::vector<orvoeng::Peak> kept;
    kept.reserve(peaks.size());
    for (const auto& peak : peaks)
        if (keeps(peak))
            kept.push_back(peak);
    if (top == 0 || kept.size() <= top)
        return kept;
    std::vector<std::size_t> order(kept.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const auto more_intense = [&kept](std::size_t a, std::size_t b) {
        return kept[a].intensity != kept[b].intensity ? kept[a].intensity > kept[b].intensity
                                                      : a < b;
    };
    const auto cut = order.begin() + static_cast<std::ptrdiff_t>(top);
    std::nth_element(order.begin(), cut, order.end(), more_intense);
    order.erase(cut, order.end());
    std::sort(order.begin(), order.end());
    std::vector<orvoeng::Peak> most;
    most.reserve(top);
    for (const std::size_t i : order)
        most.push_back(kept[i]);
    return most;
}

void PeakFilter::apply_to(orvoeng::Spectrum& spectrum) const {
    if (any())
        *spectrum.peaks = apply(*spectrum.peaks);
}

} // namespace orvohost
