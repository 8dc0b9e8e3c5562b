// Probes of lock state from a second thread, for tests that must not hang
// when the code under test leaves a lock taken.
#pragma once

#include <pal/mutex.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace pal_test {

// Runs `work` on a thread of its own and tells whether it ended within
// `patience`. A thread that is still blocked is detached, so whatever `work`
// uses must then stay alive: a failing test leaks it rather than hang.
inline bool finishes_within(std::function<void()> work,
                            std::chrono::milliseconds patience = std::chrono::seconds(5)) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread runner([work = std::move(work), done] {
        work();
        done->store(true);
    });
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!done->load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (done->load()) {
        runner.join();
        return true;
    }
    runner.detach();
    return false;
}

// Whether another thread can enter and leave `section` now, i.e. nobody
// holds it. On failure the section must not be destroyed (see above).
inline bool free_for_other_thread(PAL::CriticalSection& section) {
    return finishes_within([&section] {
        section.enter();
        section.leave();
    });
}

} // namespace pal_test
