#include <pal/exception.h>
#include <pal/mutex.h>

#include "common/pal/os_seam.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>

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
