// Texts put on a plot without overlapping each other: each label offers its
// places in order of preference and takes the first one that is inside the
// area and free; a label with no free place is left out.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace orvohost {

struct Box {
    double left;
    double top;
    double right;
    double bottom;

    bool overlaps(const Box& other) const {
        return left < other.right && other.left < right && top < other.bottom && other.top < bottom;
    }
    bool inside(const Box& area) const {
        return left >= area.left && right <= area.right && top >= area.top && bottom <= area.bottom;
    }
};

// The width a text takes in a sans-serif font of `size` units, rounded up:
// the plot has no font metrics, so an estimate wide enough for digits and
// most letters keeps placed labels apart.
double text_width(std::string_view text, double size);

class LabelPlacer {
public:
    explicit LabelPlacer(const Box& bounds) : area(bounds) {}

    // The index of the first of `places` taken, which no later label may
    // then overlap.
    std::optional<std::size_t> place(std::span<const Box> places);

private:
    Box area;
    std::vector<Box> taken;
};

} // namespace orvohost
