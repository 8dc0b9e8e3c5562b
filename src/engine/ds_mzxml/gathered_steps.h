// Steps of a leaf progress node taken one at a time, as a scan loop takes
// them, given to the node together. Each step costs the node's lock, while
// a step short of the next report changes nothing anyone sees: the steps
// are given at once when the reporting one is taken, so the node reports at
// the very same steps as when stepped one by one.
#pragma once

#include <pal/progress.h>

#include <cstdint>

namespace orvoeng {

class GatheredSteps {
public:
    explicit GatheredSteps(PAL::Progress& leaf) : node(leaf), due(leaf.steps_to_report()) {}

    void step() {
        if (++pending < due)
            return;
        node.step(pending);
        pending = 0;
        due = node.steps_to_report();
    }

    // Gives the steps gathered, which report nothing: when the loop ends.
    void finish() {
        if (pending != 0)
            node.step(pending);
        pending = 0;
    }

private:
    PAL::Progress& node;
    std::uint32_t due;
    std::uint32_t pending = 0;
};

} // namespace orvoeng
