#include "label_placement.h"

#include <algorithm>

namespace orvohost {

double text_width(std::string_view text, double size) {
    // UTF-8 continuation bytes add no width of their own.
    const auto characters = std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    });
    return static_cast<double>(characters) * 0.62 * size + 2;
}

std::optional<std::size_t> LabelPlacer::place(std::span<const Box> places) {
    for (std::size_t i = 0; i < places.size(); ++i) {
        const Box& box = places[i];
        if (!box.inside(area))
            continue;
        if (std::any_of(taken.begin(), taken.end(),
                        [&box](const Box& other) { return box.overlaps(other); }))
            continue;
        taken.push_back(box);
        return i;
    }
    return std::nullopt;
}

} // namespace orvohost
