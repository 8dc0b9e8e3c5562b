// A barrier for tests of threads, on a mutex and a condition variable.
// std::barrier of mingw's libstdc++ 12 can lose a wake-up under Wine and hang
// a test that passes thousands of phases; this one cannot.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>

namespace fixture {

class PhaseBarrier {
public:
    // `completion` runs once a phase, in the last thread to arrive, before
    // any thread goes on.
    explicit PhaseBarrier(std::size_t threads, std::function<void()> completion = {})
        : count(threads), on_phase(std::move(completion)) {}

    void arrive_and_wait() {
        std::unique_lock<std::mutex> hold(lock);
        const std::size_t phase = phases;
        if (++arrived == count) {
            if (on_phase)
                on_phase();
            arrived = 0;
            ++phases;
            all_arrived.notify_all();
            return;
        }
        all_arrived.wait(hold, [&] { return phases != phase; });
    }

private:
    const std::size_t count;
    std::function<void()> on_phase;
    std::mutex lock;
    std::condition_variable all_arrived;
    std::size_t arrived = 0;
    std::size_t phases = 0;
};

} // namespace fixture
