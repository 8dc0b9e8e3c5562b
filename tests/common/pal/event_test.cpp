#include <pal/event.h>

#include "common/pal/lock_probe.h"
#include "common/pal/os_seam.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr std::uint32_t EVENT_ID = 0x4C0336B0u;

PAL::SmartPtr<PAL::Event> make_event(std::uint32_t level) {
    return PAL::SmartPtr<PAL::Event>(new PAL::MsgEvent(level, PAL::Message(EVENT_ID)));
}

// Entries to and exits from the lock of the socket under watch.
const void* watched_lock = nullptr;
std::atomic<int> enters{0};
std::atomic<int> leaves{0};
void enter_recording(void* native) {
    PAL::os::native_syscalls().lock_enter(native);
    if (pal_test::points_into(native, watched_lock, sizeof(PAL::CriticalSection)))
        ++enters;
}
void leave_recording(void* native) {
    if (pal_test::points_into(native, watched_lock, sizeof(PAL::CriticalSection)))
        ++leaves;
    PAL::os::native_syscalls().lock_leave(native);
}

struct WatchedLock {
    explicit WatchedLock(PAL::EventSocket& socket) {
        watched_lock = &socket.lock;
        enters = 0;
        leaves = 0;
        os.table().lock_enter = enter_recording;
        os.table().lock_leave = leave_recording;
    }
    pal_test::SyscallsGuard os;
};

// Records what it is handed; optionally keeps the events or throws.
class Listener : public PAL::EventListener {
public:
    bool handle_event(PAL::SmartPtr<PAL::Event>& event) override {
        last = &event;
        levels.push_back(event->level);
        lock_held.push_back(enters > leaves);
        if (keep)
            kept.push_back(event);
        if (throw_next) {
            throw_next = false;
            throw PAL::AppError(0x80040801u, PAL::Message(0xC8020001u), 1, "event_test");
        }
        return answer;
    }

    bool answer = true;
    bool keep = false;
    bool throw_next = false;
    const PAL::SmartPtr<PAL::Event>* last = nullptr;
    std::vector<std::uint32_t> levels;
    std::vector<bool> lock_held;
    std::vector<PAL::SmartPtr<PAL::Event>> kept;
};

TEST(EventSocketPost, AnswersWithTheListenersResult) {
    Listener listener;
    PAL::SmartPtr<PAL::EventSocket> socket(new PAL::EventSocket(&listener));
    WatchedLock watch(*socket);
    auto event = make_event(5);
    EXPECT_TRUE(socket->post(event));
    EXPECT_EQ(listener.last, &event); // the poster's own pointer, not a copy
    listener.answer = false;
    EXPECT_FALSE(socket->post(event));
    EXPECT_EQ(listener.levels, (std::vector<std::uint32_t>{5, 5}));
    EXPECT_EQ(listener.lock_held, (std::vector<bool>{true, true}));
    EXPECT_EQ(enters.load(), leaves.load());
}

TEST(EventSocketPost, NoListenerAndEmptyEventAnswerFalse) {
    PAL::SmartPtr<PAL::EventSocket> nobody(new PAL::EventSocket(nullptr));
    EXPECT_EQ(nobody->listener, nullptr);
    auto event = make_event(1);
    EXPECT_FALSE(nobody->post(event));

    Listener listener;
    PAL::SmartPtr<PAL::EventSocket> socket(new PAL::EventSocket(&listener));
    WatchedLock watch(*socket);
    PAL::SmartPtr<PAL::Event> empty;
    EXPECT_FALSE(socket->post(empty));
    EXPECT_EQ(enters.load(), 0) << "an empty event took the socket's lock";
    EXPECT_TRUE(listener.levels.empty());
}

TEST(EventSocketPost, ThrowingListenerLeavesTheSocketUsable) {
    Listener listener;
    listener.throw_next = true;
    PAL::SmartPtr<PAL::EventSocket> socket(new PAL::EventSocket(&listener));
    auto event = make_event(1);
    try {
        socket->post(event);
        ADD_FAILURE() << "the listener's exception was swallowed";
    } catch (const PAL::AppError& e) {
        EXPECT_EQ(e.code, 0x80040801u);
    }
    if (!pal_test::free_for_other_thread(socket->lock)) {
        ADD_FAILURE() << "the socket's lock was left taken";
        new PAL::SmartPtr<PAL::EventSocket>(socket); // a probe still waits on it
        return;
    }
    EXPECT_TRUE(socket->post(event));
    EXPECT_EQ(listener.levels.size(), 2u);
}

// A listener that answers an event by posting another to the same socket.
class Reposting : public Listener {
public:
    bool handle_event(PAL::SmartPtr<PAL::Event>& event) override {
        const bool answer = Listener::handle_event(event);
        if (event->level == 1) {
            auto second = make_event(2);
            inner_result = socket->post(second);
        }
        return answer;
    }
    PAL::EventSocket* socket = nullptr;
    bool inner_result = false;
};

TEST(EventSocketPost, ListenerMayPostFromInsideHandleEvent) {
    // Kept on the heap and leaked if the post deadlocks, so the stuck thread
    // does not outlive what it uses.
    auto* listener = new Reposting;
    auto* socket = new PAL::SmartPtr<PAL::EventSocket>(new PAL::EventSocket(listener));
    listener->socket = socket->get();
    bool outer_result = false;
    ASSERT_TRUE(pal_test::finishes_within([socket, &outer_result] {
        auto first = make_event(1);
        outer_result = (*socket)->post(first);
    })) << "posting from inside the listener deadlocked";
    EXPECT_TRUE(outer_result);
    EXPECT_TRUE(listener->inner_result);
    EXPECT_EQ(listener->levels, (std::vector<std::uint32_t>{1, 2}));
    delete socket;
    delete listener;
}

// Counts how many threads are inside handle_event at once.
class OverlapListener : public PAL::EventListener {
public:
    bool handle_event(PAL::SmartPtr<PAL::Event>&) override {
        if (++inside > 1)
            ++overlaps;
        for (int i = 0; i < 3; ++i)
            std::this_thread::yield();
        ++handled;
        --inside;
        return true;
    }
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    int handled = 0; // guarded by the socket's lock
};

TEST(EventSocketPost, PostsFromSeveralThreadsArriveOneAtATime) {
    constexpr int THREADS = 4;
    constexpr int POSTS = 500;
    OverlapListener listener;
    PAL::SmartPtr<PAL::EventSocket> socket(new PAL::EventSocket(&listener));
    std::atomic<int> refused{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t)
        threads.emplace_back([&socket, &refused] {
            PAL::SmartPtr<PAL::EventSocket> mine(socket);
            for (int i = 0; i < POSTS; ++i) {
                auto event = make_event(4);
                if (!mine->post(event))
                    ++refused;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(listener.overlaps.load(), 0);
    EXPECT_EQ(refused.load(), 0);
    EXPECT_EQ(listener.handled, THREADS * POSTS);
}

TEST(EventSocketListener, ChangesUnderTheLock) {
    Listener first;
    Listener second;
    PAL::SmartPtr<PAL::EventSocket> socket(new PAL::EventSocket(&first));
    auto event = make_event(6);
    EXPECT_TRUE(socket->post(event));
    {
        WatchedLock watch(*socket);
        socket->set_listener(&second);
        EXPECT_EQ(enters.load(), 1);
        EXPECT_EQ(leaves.load(), 1);
    }
    EXPECT_TRUE(socket->post(event));
    socket->set_listener(nullptr);
    EXPECT_FALSE(socket->post(event));
    EXPECT_EQ(first.levels.size(), 1u);
    EXPECT_EQ(second.levels.size(), 1u);
}

class CountedEvent : public PAL::MsgEvent {
public:
    explicit CountedEvent(std::atomic<int>& deaths)
        : PAL::MsgEvent(7, PAL::Message(EVENT_ID)), deaths(deaths) {}
    ~CountedEvent() override { ++deaths; }
    std::atomic<int>& deaths;
};

TEST(EventLifetime, EventLivesAsLongAsSomeoneHoldsIt) {
    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "listener keeps a copy" : "listener keeps nothing");
        std::atomic<int> deaths{0};
        Listener listener;
        listener.keep = keep;
        PAL::SmartPtr<PAL::EventSocket> socket(new PAL::EventSocket(&listener));
        {
            PAL::SmartPtr<CountedEvent> created(new CountedEvent(deaths));
            PAL::SmartPtr<PAL::Event> event(created);
            socket->post(event);
        }
        EXPECT_EQ(deaths.load(), keep ? 0 : 1);
        listener.kept.clear();
        EXPECT_EQ(deaths.load(), 1);
    }
}

TEST(MsgEvent, CarriesKindLevelAndACopyOfTheMessage) {
    PAL::Message message(0xCC0236B2u);
    message.add(std::uint32_t{3}).add(std::uint32_t{4});
    const PAL::MsgEvent event(1, message);
    message.args.clear();
    EXPECT_EQ(event.kind, static_cast<std::uint32_t>(PAL::Event::MSG_EVENT));
    EXPECT_EQ(event.level, 1u);
    EXPECT_EQ(event.message.id, 0xCC0236B2u);
    EXPECT_EQ(event.message.args, (std::vector<std::wstring>{L"3", L"4"}));
    EXPECT_NO_THROW(PAL::MsgEvent(5, PAL::Message()));
}

TEST(PostMessage, BuildsTheEventOnlyWhenThereIsASocket) {
    EXPECT_NO_THROW(PAL::post_message(PAL::SmartPtr<PAL::EventSocket>(), 1, PAL::Message(1)));

    Listener listener;
    listener.keep = true;
    PAL::SmartPtr<PAL::EventSocket> socket(new PAL::EventSocket(&listener));
    PAL::post_message(socket, 5, PAL::Message(EVENT_ID).add(std::wstring(L"dataProcessing")));
    ASSERT_EQ(listener.kept.size(), 1u);
    auto* posted = dynamic_cast<PAL::MsgEvent*>(listener.kept[0].get());
    ASSERT_NE(posted, nullptr);
    EXPECT_EQ(posted->level, 5u);
    EXPECT_EQ(posted->message.id, EVENT_ID);
    EXPECT_EQ(posted->message.args, std::vector<std::wstring>{L"dataProcessing"});
    // The poster dropped every reference of its own.
    EXPECT_EQ(listener.kept[0].pn->use_count, 1);
}

} // namespace
