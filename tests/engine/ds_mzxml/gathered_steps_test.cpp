#include "gathered_steps.h"

#include "support/recording_listener.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

namespace {

using orvoeng::GatheredSteps;
using Node = PAL::SmartPtr<PAL::Progress>;

// What a host sees of `taken` single steps on a node of `steps` under a
// root: the events posted by the time each step is taken, then the
// percentages of them all.
std::pair<std::vector<std::size_t>, std::vector<std::uint16_t>>
seen(std::uint32_t steps, short step_perc, std::uint32_t taken, bool gathered) {
    fixture::RecordingSocket recording;
    std::vector<std::size_t> posted;
    {
        const Node root(new PAL::Progress(recording.socket, PAL::Message(0x4C000042), 1, 1));
        const Node leaf(new PAL::Progress(root, steps, step_perc));
        GatheredSteps steps_of(*leaf);
        for (std::uint32_t i = 0; i < taken; ++i) {
            gathered ? steps_of.step() : leaf->step(1);
            posted.push_back(recording.listener.events.size());
        }
        steps_of.finish();
        EXPECT_EQ(leaf->steps_done, std::min(taken, steps)) << steps << ' ' << taken;
    }
    return {posted, recording.listener.percentages()};
}

// Gathered steps report at the very steps single ones do: at each
// threshold, past the total, and on a node too small to report per step.
TEST(GatheredSteps, ReportAsSingleSteps) {
    for (const auto& [steps, step_perc, taken] :
         std::vector<std::tuple<std::uint32_t, short, std::uint32_t>>{
             {1000, 1, 1000}, {1000, 1, 457}, {7, 100, 9}, {3, 1, 3}, {250, 40, 260}, {0, 1, 5}}) {
        const auto single = seen(steps, step_perc, taken, false);
        EXPECT_EQ(seen(steps, step_perc, taken, true), single) << steps << ' ' << taken;
        EXPECT_FALSE(single.second.empty());
    }
}

} // namespace
