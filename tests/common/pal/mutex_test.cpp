#include <pal/exception.h>
#include <pal/mutex.h>

#include "common/pal/os_seam.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// The owner enters twice; another thread gets in only after the second leave. (A ScopedLock
// left by a throw: see the event socket's throwing listener.)
TEST(CriticalSection, NestedEntriesKeepOthersOutUntilTheLastLeave) {
    // Shared with threads that may outlive a failing test, so leaked then.
    auto* section = new PAL::CriticalSection;
    auto* order = new std::atomic<int>(0); // 1: the owner let go, 2: then the other got in
    ASSERT_TRUE(pal_test::finishes_within([section, order] {
        section->enter();
        section->enter();
        section->leave();
        std::thread other([section, order] {
            section->enter();
            *order = *order == 1 ? 2 : -1;
            section->leave();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        *order = *order == 0 ? 1 : -1;
        section->leave();
        other.join();
    })) << "the owner could not enter again";
    EXPECT_EQ(order->load(), 2);
    delete section;
    delete order;
}

// Threads that enter (twice, nested) many times each, some holding the lock
// long enough that the others stop spinning and sleep on it: no two are in
// at once, and every sleeper is woken.
TEST(CriticalSection, ConcurrentEntriesAreOneAtATime) {
    constexpr int THREADS = 4, ROUNDS = 20000;
    struct Shared {
        PAL::CriticalSection section;
        int inside = 0; // written under the lock only
        long long entries = 0;
        std::atomic<bool> overlapped{false};
    };
    // Kept by threads that may outlive a failing test, so leaked then.
    auto* shared = new Shared;
    ASSERT_TRUE(pal_test::finishes_within([shared] {
        std::vector<std::thread> threads;
        for (int t = 0; t < THREADS; ++t)
            threads.emplace_back([shared, t] {
                for (int round = 0; round < ROUNDS; ++round) {
                    PAL::ScopedLock outer(shared->section);
                    PAL::ScopedLock nested(shared->section);
                    if (++shared->inside != 1)
                        shared->overlapped = true;
                    ++shared->entries;
                    if (round % 2000 == t)
                        std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    --shared->inside;
                }
            });
        for (std::thread& thread : threads)
            thread.join();
    })) << "a thread that waited for the lock was never woken";
    EXPECT_FALSE(shared->overlapped.load());
    EXPECT_EQ(shared->entries, static_cast<long long>(THREADS) * ROUNDS);
    delete shared;
}

// A lock the OS cannot make (asked for 4000 spins) raises the OS error
// number and is never destroyed; so does a mutex.
TEST(CriticalSection, InitFailureRaisesTheOsError) {
    pal_test::SyscallsGuard os;
    os.table().lock_init = [](void*, unsigned spins) { return spins == 4000 ? ENOMEM : EINVAL; };
    os.table().lock_destroy = [](void*) { ADD_FAILURE() << "a lock never made was destroyed"; };
    os.table().mutex_create = [](void**) { return EAGAIN; };
    try {
        PAL::CriticalSection section;
        ADD_FAILURE() << "a lock came into being without its native lock";
    } catch (const PAL::WindowsError& e) {
        EXPECT_EQ(e.code, std::uint32_t{ENOMEM});
        EXPECT_STREQ(e.file, "mutex");
    }
    EXPECT_THROW(PAL::Mutex(), PAL::WindowsError);
}

} // namespace
