#include <pal/progress.h>

#include "support/recording_listener.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <tuple>

namespace {

using PAL::Progress;
using Node = PAL::SmartPtr<Progress>;
using Percentages = std::vector<std::uint16_t>;

// A root posting to a recording socket with the message 0x4C000042 "job".
struct Root {
    explicit Root(std::uint32_t steps, short step_perc = 1)
        : node(new Progress(recording.socket, PAL::Message(0x4C000042).add(std::wstring(L"job")),
                            steps, step_perc)) {}
    fixture::RecordingSocket recording;
    Node node;
    Percentages posted() const { return recording.listener.percentages(); }
    Node child(std::uint32_t steps, const Node& parent = {}) const {
        return Node(new Progress(parent ? parent : node, steps, 1));
    }
};

// Reports come only when a threshold is reached, and steps stop at the total.
// Events carry the root's message as child 0; the last, when the root goes,
// is final and repeats the percentage.
TEST(ProgressTest, ReportsAtThresholdsAndEndsWithAFinalEvent) {
    // steps, step_perc, the counts passed to step(), the percentages posted, steps_done
    const std::tuple<std::uint32_t, short, std::vector<std::uint32_t>, Percentages, int> cases[] = {
        {2, 1, {1, 1}, {50, 100}, 2},   {25, 40, {9, 1, 9, 1, 5}, {40, 80, 100}, 25},
        {7, 100, {6, 1}, {100}, 7},     {1000, 1, {9, 1}, {1}, 10},
        {10, 1, {8, 5}, {80, 100}, 10}, {4, 1, {1}, {25}, 1}};
    for (const auto& [steps, step_perc, counts, posted, done] : cases) {
        Root root(steps, step_perc);
        for (std::uint32_t count : counts)
            root.node->step(count);
        EXPECT_EQ(root.posted(), posted) << steps << "/" << step_perc;
        EXPECT_EQ(root.node->steps_done, static_cast<std::uint32_t>(done)) << steps;
        root.node.reset();
        const auto& events = root.recording.listener.events;
        EXPECT_EQ(events.back().percentage, posted.back()) << steps;
        for (const auto& e : events)
            EXPECT_TRUE(e.kind == PAL::Event::PROGRESS_EVENT && e.level == 0 &&
                        e.id == 0x4C000042u && e.args == std::vector<std::wstring>{L"job"} &&
                        e.final == (&e == &events.back()));
    }
}

// Children fill the parent's current step by their weight (steps) and keep
// their share when they go, until the parent's next step. A zero-step node
// (its steps ignored) makes all its ancestors undetermined while it lives.
TEST(ProgressTest, ChildrenFillTheCurrentStepByWeight) {
    Root root(4);
    root.node->step(1);
    {
        Node small = root.child(10), large = root.child(30);
        EXPECT_DOUBLE_EQ(root.node->children.at(small->child_id).weight, 0.25);
        small->step(10);
        Node endless = root.child(0, large);
        EXPECT_EQ(root.node->indeterminate, 1u);
        endless->step(5);
    }
    root.node->step(1);
    EXPECT_EQ(root.posted(), (Percentages{25, 31, Progress::UNDETERMINED, 31, 50}));
}

// Ids are reused last freed first; a parent of over 100 steps takes no children.
TEST(ProgressTest, ChildIdsAndAdmission) {
    Root root(3), big(101);
    Node one = root.child(1), two = root.child(1), three = root.child(1);
    two.reset();
    three.reset();
    Node a = root.child(1), b = root.child(1), c = root.child(1);
    EXPECT_EQ((std::vector<std::uint32_t>{one->child_id, a->child_id, b->child_id, c->child_id}),
              (std::vector<std::uint32_t>{1, 3, 2, 4}));
    Node refused = big.child(10);
    refused->step(10);
    EXPECT_TRUE(refused->child_id == 0 && !refused->enabled && big.node->children.empty() &&
                big.posted().empty());
}

TEST(ProgressTest, ConcurrentChildrenReportInOrderWithoutDeadlock) {
    Root root(1);
    std::vector<Node> nodes = {root.child(100), root.child(100), root.child(100), root.child(100)};
    std::vector<std::thread> workers;
    for (const Node& child : nodes)
        workers.emplace_back([child] {
            for (int i = 0; i < 100; ++i)
                child->step(1);
        });
    for (auto& w : workers)
        w.join();
    nodes.clear();
    const Percentages posted = root.posted();
    EXPECT_TRUE(std::is_sorted(posted.begin(), posted.end()) && posted.back() >= 99);
    EXPECT_TRUE(root.node->children.empty());
}

} // namespace
