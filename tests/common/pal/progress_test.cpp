#include <pal/progress.h>

#include "support/recording_listener.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

namespace {

using PAL::Progress;
using Node = PAL::SmartPtr<Progress>;

constexpr std::uint16_t UNDETERMINED = Progress::UNDETERMINED;

Node child_of(const Node& parent, std::uint32_t steps, std::int16_t step_perc = 1) {
    return Node(new Progress(parent, steps, step_perc));
}

struct Root {
    explicit Root(std::uint32_t steps, short step_perc = 1)
        : node(new Progress(recording.socket, PAL::Message(0x4C000042).add(std::wstring(L"job")),
                            steps, step_perc)) {}
    fixture::RecordingSocket recording;
    Node node;
    std::vector<std::uint16_t> posted() const { return recording.listener.percentages(); }
};

std::wstring assert_text(const std::function<void()>& action) {
    try {
        action();
    } catch (const PAL::AssertFailure& failure) {
        EXPECT_STREQ(failure.file, "progress");
        return failure.text;
    }
    return L"<nothing raised>";
}

TEST(ProgressTest, StepPercMustBeAPercentage) {
    for (std::int16_t bad : {0, 101, -1})
        EXPECT_EQ(assert_text([&] { Progress node(Node(), 10, bad); }),
                  L"step_perc is out of range")
            << bad;
    for (std::int16_t good : {1, 100})
        EXPECT_NO_THROW(Progress(Node(), 10, good)) << good;
}

TEST(ProgressTest, ReportsOnlyAtThresholds) {
    struct Case {
        std::uint32_t steps;
        short step_perc;
        std::uint32_t step_size;
        std::vector<std::uint32_t> thresholds; // steps_done values that report
    };
    const Case cases[] = {
        {2, 1, 1, {1, 2}},
        {25, 40, 10, {10, 20, 25}},
        {7, 100, 7, {7}},
    };
    for (const Case& c : cases) {
        Root root(c.steps, c.step_perc);
        EXPECT_EQ(root.node->step_size, c.step_size) << c.steps;
        std::vector<std::uint32_t> reported_at;
        for (std::uint32_t i = 1; i <= c.steps; ++i) {
            const std::size_t before = root.posted().size();
            root.node->step(1);
            if (root.posted().size() != before)
                reported_at.push_back(i);
        }
        EXPECT_EQ(reported_at, c.thresholds) << c.steps << "/" << c.step_perc;
        EXPECT_EQ(root.posted().back(), 100);
    }
}

TEST(ProgressTest, ThousandStepsComputeEveryTenth) {
    Root root(1000);
    EXPECT_EQ(root.node->step_size, 10u);
    root.node->step(9);
    EXPECT_TRUE(root.posted().empty());
    EXPECT_EQ(root.node->next_report, 10u);
    root.node->step(1);
    EXPECT_EQ(root.posted(), std::vector<std::uint16_t>{1});
    EXPECT_EQ(root.node->next_report, 20u);
}

TEST(ProgressTest, StepsNeverPassTheTotal) {
    Root root(10);
    root.node->step(8);
    root.node->step(5);
    EXPECT_EQ(root.node->steps_done, 10u);
    EXPECT_EQ(root.posted().back(), 100);

    Root endless(0);
    endless.node->step(3);
    EXPECT_EQ(endless.node->steps_done, 0u);
    EXPECT_TRUE(endless.posted().empty());
}

TEST(ProgressTest, EventsCarryTheRootsMessageAndItsLastWordIsFinal) {
    Root root(4);
    root.node->step(1);
    root.node.reset();
    const auto& events = root.recording.listener.events;
    ASSERT_EQ(events.size(), 2u);
    for (const auto& e : events) {
        EXPECT_EQ(e.kind, PAL::Event::PROGRESS_EVENT);
        EXPECT_EQ(e.level, 0u); // a root's child id
        EXPECT_EQ(e.id, 0x4C000042u);
        EXPECT_EQ(e.args, std::vector<std::wstring>{L"job"});
    }
    EXPECT_FALSE(events[0].final);
    EXPECT_EQ(events[1].percentage, 25); // unchanged, posted anyway
    EXPECT_TRUE(events[1].final);
}

TEST(ProgressTest, ZeroStepNodeMakesItsAncestorsUndetermined) {
    Root root(2);
    Node middle = child_of(root.node, 4);
    {
        Node endless = child_of(middle, 0);
        EXPECT_EQ(middle->indeterminate, 1u);
        EXPECT_EQ(root.node->indeterminate, 1u);
        EXPECT_EQ(root.posted().back(), UNDETERMINED);
        endless->step(5); // ignored
    }
    EXPECT_EQ(root.node->indeterminate, 0u);
    EXPECT_EQ(root.posted().back(), 0);
    middle->step(2);
    EXPECT_EQ(root.posted().back(), 25);
}

TEST(ProgressTest, ParentOfMoreThanHundredStepsTakesNoChildren) {
    Root root(101);
    Node child = child_of(root.node, 10);
    EXPECT_EQ(child->child_id, 0u);
    EXPECT_FALSE(child->parent);
    EXPECT_FALSE(child->enabled);
    child->step(10);
    EXPECT_TRUE(root.posted().empty());
    EXPECT_TRUE(root.node->children.empty());

    Node orphan = child_of(Node(), 5); // disabled nodes take no children either
    EXPECT_EQ(orphan->add_child(1), 0u);
}

TEST(ProgressTest, ChildIdsAreReusedLastFreedFirst) {
    Root root(3);
    Node one = child_of(root.node, 1), two = child_of(root.node, 1), three = child_of(root.node, 1);
    EXPECT_EQ((std::vector<std::uint32_t>{one->child_id, two->child_id, three->child_id}),
              (std::vector<std::uint32_t>{1, 2, 3}));
    two.reset();
    three.reset();
    Node a = child_of(root.node, 1), b = child_of(root.node, 1), c = child_of(root.node, 1);
    EXPECT_EQ(a->child_id, 3u);
    EXPECT_EQ(b->child_id, 2u);
    EXPECT_EQ(c->child_id, 4u);
}

TEST(ProgressTest, ChildrenFillTheCurrentStepByWeight) {
    Root root(4);
    root.node->step(1);
    Node child = child_of(root.node, 10);
    child->step(5);
    EXPECT_EQ(root.posted().back(), 37); // (1 + 0.5) / 4

    Root pair(1);
    Node small = child_of(pair.node, 10), large = child_of(pair.node, 30);
    EXPECT_DOUBLE_EQ(pair.node->children.at(1).weight, 0.25);
    EXPECT_DOUBLE_EQ(pair.node->children.at(2).weight, 0.75);
    small->step(10);
    EXPECT_DOUBLE_EQ(pair.node->child_share, 0.25);
    EXPECT_EQ(pair.posted().back(), 25);
}

TEST(ProgressTest, FinishedChildrenKeepTheirShareUntilTheNextStep) {
    Root root(2);
    {
        Node child = child_of(root.node, 10);
        child->step(5);
    }
    EXPECT_DOUBLE_EQ(root.node->finished_steps, 10.0);
    EXPECT_DOUBLE_EQ(root.node->child_share, 0.5);
    EXPECT_EQ(root.posted().back(), 25);
    root.node->step(1);
    EXPECT_DOUBLE_EQ(root.node->finished_steps, 0.0);
    EXPECT_DOUBLE_EQ(root.node->child_share, 0.0);
    EXPECT_EQ(root.posted().back(), 50);
}

TEST(ProgressTest, BrokenContractsRaiseAndChangeNothing) {
    Root root(4);
    Node child = child_of(root.node, 2);
    EXPECT_EQ(assert_text([&] { root.node->step(1); }), L"not a leaf node");
    EXPECT_EQ(root.node->steps_done, 0u);
    EXPECT_EQ(assert_text([&] { root.node->child_progress(7, 50); }), L"child_id unknown");
    root.node->remove_child(7); // unknown: nothing happens
    EXPECT_EQ(root.node->children.size(), 1u);
}

TEST(ProgressTest, ConcurrentChildrenReportInOrderWithoutDeadlock) {
    Root root(1);
    std::vector<Node> children;
    for (int t = 0; t < 4; ++t)
        children.push_back(child_of(root.node, 100));
    std::vector<std::thread> workers;
    for (const Node& child : children)
        workers.emplace_back([child] {
            for (int i = 0; i < 100; ++i)
                child->step(1);
        });
    for (auto& w : workers)
        w.join();
    children.clear();
    const auto posted = root.posted();
    ASSERT_FALSE(posted.empty());
    for (std::size_t i = 1; i < posted.size(); ++i)
        EXPECT_LE(posted[i - 1], posted[i]);
    EXPECT_GE(posted.back(), 99);
    EXPECT_TRUE(root.node->children.empty());
}

} // namespace
