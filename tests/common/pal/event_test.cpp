#include <pal/event.h>

#include "common/pal/os_seam.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

using Socket = PAL::SmartPtr<PAL::EventSocket>;
using EventPtr = PAL::SmartPtr<PAL::Event>;
// Made-up identifiers: the platform layer carries any number and knows no message names.
constexpr std::uint32_t EVENT_ID = 0x4C000042u, POSTED_ID = 0xCC000042u;
EventPtr make_event(std::uint32_t level) {
    return EventPtr(new PAL::MsgEvent(level, PAL::Message(EVENT_ID)));
}

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

} // namespace
