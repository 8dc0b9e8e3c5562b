#include <pal/event.h>

#include "common/pal/os_seam.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <tuple>
#include <vector>

namespace {

using Socket = PAL::SmartPtr<PAL::EventSocket>;
using EventPtr = PAL::SmartPtr<PAL::Event>;
// Made-up identifiers: the platform layer carries any number and knows no message names.
constexpr std::uint32_t EVENT_ID = 0x4C000042u, POSTED_ID = 0xCC000042u;
EventPtr make_event(std::uint32_t level) {
    return EventPtr(new PAL::MsgEvent(level, PAL::Message(EVENT_ID)));
}

// Answers as `on_event` says, keeping nothing itself.
struct Forgetting : PAL::EventListener {
    explicit Forgetting(std::function<bool(EventPtr&)> answer) : on_event(std::move(answer)) {}
    bool handle_event(EventPtr& event) override { return on_event(event); }
    std::function<bool(EventPtr&)> on_event;
};

// Keeps what it is handed and answers as `on_event` says.
struct Listener : PAL::EventListener {
    explicit Listener(std::function<bool(EventPtr&)> answer) : on_event(std::move(answer)) {}
    bool handle_event(EventPtr& event) override { return kept.push_back(event), on_event(event); }
    std::function<bool(EventPtr&)> on_event;
    std::vector<EventPtr> kept;
};

// The listener's answer, else false; post_message sends level and message, keeping nothing.
TEST(EventSocketPost, AnswersWithTheListenersResult) {
    const EventPtr* handed = nullptr;
    Listener listener([&](EventPtr& event) { return (handed = &event)->get()->level == 5; });
    Socket socket(new PAL::EventSocket(&listener));
    auto yes = make_event(5), no = make_event(6), empty = EventPtr();
    EXPECT_TRUE(socket->post(yes));
    EXPECT_EQ(handed, &yes); // the poster's own pointer, not a copy
    EXPECT_FALSE(socket->post(no));
    EXPECT_FALSE(socket->post(empty));
    EXPECT_FALSE(Socket(new PAL::EventSocket(nullptr))->post(yes));
    PAL::post_message(socket, 3, PAL::Message(POSTED_ID).add(std::wstring(L"dataProcessing")));
    socket->set_listener(nullptr);
    EXPECT_FALSE(socket->post(yes));
    ASSERT_EQ(listener.kept.size(), 3u);
    const auto& posted = dynamic_cast<const PAL::MsgEvent&>(*listener.kept[2]);
    EXPECT_EQ(posted.level, 3u);
    EXPECT_EQ(posted.message.id, POSTED_ID);
    EXPECT_EQ(posted.message.args, std::vector<std::wstring>{L"dataProcessing"});
    EXPECT_EQ(listener.kept[2].pn->use_count, 1);
}

// A throw (level 1) leaves the lock free; a post from inside handle_event (2) does not deadlock.
TEST(EventSocketPost, ThrowingOrRepostingListenerLeavesTheSocketUsable) {
    auto* socket = new Socket(new PAL::EventSocket); // leaked on failure, with the listener
    auto* listener = new Listener([socket](EventPtr& event) {
        if (event->level == 1)
            throw PAL::AppError(0x80040801u, PAL::Message(EVENT_ID), 1, "event_test");
        auto third = make_event(3);
        return event->level == 3 || (*socket)->post(third);
    });
    (*socket)->set_listener(listener);
    auto first = make_event(1);
    EXPECT_THROW((*socket)->post(first), PAL::AppError);
    ASSERT_TRUE(pal_test::finishes_within([socket] {
        auto second = make_event(2);
        EXPECT_TRUE((*socket)->post(second));
    })) << "the lock was left taken, or the inner post deadlocked";
    ASSERT_EQ(listener->kept.size(), 3u);
    EXPECT_EQ(listener->kept[2]->level, 3u);
    delete socket;
    delete listener;
}

TEST(EventSocketPost, PostsFromSeveralThreadsArriveOneAtATime) {
    std::atomic<int> inside{0}, overlaps{0};
    Listener listener([&](EventPtr&) {
        overlaps += ++inside > 1;
        std::this_thread::yield();
        --inside;
        return true;
    });
    Socket socket(new PAL::EventSocket(&listener));
    const auto post_many = [socket] {
        for (int i = 0; i < 500; ++i) {
            auto event = make_event(4);
            EXPECT_TRUE(socket->post(event));
        }
    };
    { std::jthread a(post_many), b(post_many), c(post_many), d(post_many); }
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(listener.kept.size(), 2000u);
}

// post_numbers posts what post_message posts for a message of the same
// numbers added with add's defaults, however many there are and whatever
// the event before left behind; an event the listener keeps is its own,
// never filled anew by a later post.
TEST(PostNumbers, PostsTheEventPostMessagePostsAndNeverTouchesOneKept) {
    bool keep = false;
    std::vector<EventPtr> handed; // events the listener keeps
    std::vector<std::pair<std::uint32_t, PAL::Message>> seen;
    Forgetting listener([&](EventPtr& event) {
        const auto& posted = dynamic_cast<const PAL::MsgEvent&>(*event);
        seen.emplace_back(posted.level, posted.message);
        if (keep)
            handed.push_back(event);
        return true;
    });
    Socket socket(new PAL::EventSocket(&listener));
    using Numbers = std::vector<std::int64_t>;
    const std::vector<Numbers> posts = {{1, 1210},
                                        {-42, 0, std::numeric_limits<std::int64_t>::max()},
                                        {std::numeric_limits<std::int64_t>::min()},
                                        {},
                                        {4294967295, 300000, 7}};
    for (const bool kept : {false, true}) {
        keep = kept;
        for (const Numbers& numbers : posts) {
            PAL::Message reference(POSTED_ID);
            for (const std::int64_t n : numbers)
                reference.add(static_cast<long long>(n));
            seen.clear();
            switch (numbers.size()) {
            case 0:
                PAL::post_numbers(socket, 6, POSTED_ID, {});
                break;
            case 1:
                PAL::post_numbers(socket, 6, POSTED_ID, {numbers[0]});
                break;
            case 2:
                PAL::post_numbers(socket, 6, POSTED_ID, {numbers[0], numbers[1]});
                break;
            default:
                PAL::post_numbers(socket, 6, POSTED_ID, {numbers[0], numbers[1], numbers[2]});
            }
            ASSERT_EQ(seen.size(), 1u);
            EXPECT_EQ(std::tuple(seen[0].first, seen[0].second.id, seen[0].second.args),
                      std::tuple(6u, POSTED_ID, reference.args));
        }
    }
    // Every kept event still holds what it was posted with.
    ASSERT_EQ(handed.size(), posts.size());
    for (std::size_t i = 0; i < posts.size(); ++i) {
        const auto& kept = dynamic_cast<const PAL::MsgEvent&>(*handed[i]);
        EXPECT_EQ(kept.message.args.size(), posts[i].size()) << i;
        EXPECT_EQ(handed[i].pn->use_count, 1) << i;
    }
    EXPECT_EQ(dynamic_cast<const PAL::MsgEvent&>(*handed[1]).message.args.back(),
              L"9223372036854775807");
    PAL::post_numbers(Socket(), 6, 0, {1}); // no socket: nothing is built, nothing checked
    EXPECT_THROW(PAL::post_numbers(socket, 6, 0, {1}), PAL::AssertFailure);
}

// A listener that throws, points the posted pointer at another event or
// posts numbers itself while it is handed one: each post still reaches it
// whole, and the throw reaches the poster.
TEST(PostNumbers, ListenersThatThrowRepointOrPostInTurn) {
    int depth = 0;
    std::vector<std::vector<std::wstring>> seen;
    EventPtr replacement = make_event(2);
    Socket socket(new PAL::EventSocket);
    Forgetting listener([&](EventPtr& event) {
        const auto& posted = dynamic_cast<const PAL::MsgEvent&>(*event);
        seen.push_back(posted.message.args);
        const std::uint32_t level = posted.level;
        if (level == 1)
            throw PAL::AppError(0x80040801u, PAL::Message(EVENT_ID), 1, "event_test");
        if (level == 2)
            event = replacement; // the posted event goes with this pointer
        if (level == 3 && depth++ == 0)
            PAL::post_numbers(socket, 3, POSTED_ID, {99});
        return true;
    });
    socket->set_listener(&listener);
    EXPECT_THROW(PAL::post_numbers(socket, 1, POSTED_ID, {1}), PAL::AppError);
    PAL::post_numbers(socket, 2, POSTED_ID, {2, 2});
    PAL::post_numbers(socket, 3, POSTED_ID, {3, 3, 3});
    PAL::post_numbers(socket, 4, POSTED_ID, {4});
    PAL::post_numbers(socket, 4, POSTED_ID, {5, 5});
    const std::vector<std::vector<std::wstring>> expected = {
        {L"1"}, {L"2", L"2"}, {L"3", L"3", L"3"}, {L"99"}, {L"4"}, {L"5", L"5"}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(replacement.pn->use_count, 1);
    socket->set_listener(nullptr);
}

} // namespace
