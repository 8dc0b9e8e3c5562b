#include <pal/exception.h>
#include <pal/mutex.h>

#include "common/pal/lock_probe.h"
#include "common/pal/os_seam.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

TEST(CriticalSection, NestedEntriesNeedAsManyLeaves) {
    // Leaked if a check fails: a probe thread may still be waiting on it.
    auto* section = new PAL::CriticalSection;
    ASSERT_TRUE(pal_test::finishes_within([section] {
        section->enter();
        section->enter();
        section->leave();
        section->leave();
    })) << "the owner could not enter again";
    ASSERT_TRUE(pal_test::free_for_other_thread(*section));
    delete section;
}

TEST(CriticalSection, KeepsOtherThreadsOutUntilTheLastLeave) {
    // Shared with the owner thread, which may outlive a failing test.
    auto* section = new PAL::CriticalSection;
    auto entered = std::make_shared<std::atomic<bool>>(false);
    auto entered_early = std::make_shared<std::atomic<bool>>(true);
    ASSERT_TRUE(pal_test::finishes_within([section, entered, entered_early] {
        section->enter();
        section->enter();
        std::thread other([section, entered] {
            section->enter();
            *entered = true;
            section->leave();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        section->leave();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        *entered_early = entered->load();
        section->leave();
        other.join();
    })) << "the owner could not enter again";
    EXPECT_FALSE(*entered_early) << "entered while the owner still held one level";
    EXPECT_TRUE(*entered);
    delete section;
}

TEST(ScopedLock, LeavesWhenTheBlockThrows) {
    auto* section = new PAL::CriticalSection;
    try {
        PAL::ScopedLock guard(*section);
        throw std::runtime_error("leaving the block");
    } catch (const std::runtime_error&) {
    }
    ASSERT_TRUE(pal_test::free_for_other_thread(*section));
    delete section;
}

// Recorders of the lock and mutex entries of the OS seam.
struct LockCalls {
    std::vector<unsigned int> spin_counts;
    int destroys = 0;
    std::vector<void*> closed;
};
LockCalls calls;

int init_recording(void* native, unsigned int spin_count) {
    calls.spin_counts.push_back(spin_count);
    return PAL::os::native_syscalls().lock_init(native, spin_count);
}
int init_failing(void*, unsigned int) {
    return ENOMEM;
}
void destroy_recording(void* native) {
    ++calls.destroys;
    PAL::os::native_syscalls().lock_destroy(native);
}
int create_failing(void**) {
    return EAGAIN;
}
void close_recording(void* handle) {
    calls.closed.push_back(handle);
    PAL::os::native_syscalls().mutex_close(handle);
}

TEST(CriticalSection, SpinsAsEveryLockOfTheSystem) {
    calls = {};
    pal_test::SyscallsGuard os;
    os.table().lock_init = init_recording;
    { PAL::CriticalSection section; }
    EXPECT_EQ(calls.spin_counts, std::vector<unsigned int>{4000u});
}

TEST(CriticalSection, InitFailureRaisesWindowsErrorWithTheCode) {
    calls = {};
    pal_test::SyscallsGuard os;
    os.table().lock_init = init_failing;
    os.table().lock_destroy = destroy_recording;
    try {
        PAL::CriticalSection section;
        ADD_FAILURE() << "a lock that could not be made came into being";
    } catch (const PAL::WindowsError& e) {
        EXPECT_EQ(e.code, static_cast<std::uint32_t>(ENOMEM));
        EXPECT_STREQ(e.file, "mutex");
    }
    // A lock never made is never destroyed.
    EXPECT_EQ(calls.destroys, 0);
}

TEST(Mutex, CreateFailureRaisesWindowsErrorWithTheCode) {
    pal_test::SyscallsGuard os;
    os.table().mutex_create = create_failing;
    try {
        PAL::Mutex mutex;
        ADD_FAILURE() << "a mutex that could not be made came into being";
    } catch (const PAL::WindowsError& e) {
        EXPECT_EQ(e.code, static_cast<std::uint32_t>(EAGAIN));
        EXPECT_STREQ(e.file, "mutex");
    }
}

TEST(Mutex, ClosesItsHandleOnce) {
    calls = {};
    pal_test::SyscallsGuard os;
    os.table().mutex_close = close_recording;
    void* handle = nullptr;
    {
        PAL::Mutex mutex;
        handle = mutex.native_handle();
        EXPECT_NE(handle, nullptr);
    }
    EXPECT_EQ(calls.closed, std::vector<void*>{handle});
}

} // namespace
