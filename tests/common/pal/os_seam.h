// Test seams: the OS table, and lock probes that cannot hang.
#pragma once

#include <os/syscalls.h>
#include <pal/mutex.h>

#include <functional>
#include <future>
#include <thread>

namespace pal_test {

// The table in force, made native again when the test's scope ends.
struct SyscallsGuard {
    ~SyscallsGuard() { PAL::os::syscalls() = PAL::os::native_syscalls(); }
    PAL::os::Syscalls& table() { return PAL::os::syscalls(); }
};

// Runs `work` on a detached thread; false when it has not ended within five
// seconds, and then whatever `work` uses must be leaked rather than freed.
inline bool finishes_within(std::function<void()> work) {
    std::packaged_task<void()> task(std::move(work));
    auto done = task.get_future();
    std::thread(std::move(task)).detach();
    return done.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
}

// Whether another thread can enter and leave `section` now.
inline bool free_for_other_thread(PAL::CriticalSection& section) {
    return finishes_within([&section] {
        section.enter();
        section.leave();
    });
}

} // namespace pal_test
