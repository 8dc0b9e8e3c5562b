#include "read_ahead.h"

#include <chrono>
#include <system_error>

namespace orvoeng {

namespace {

// How long an idle thread waits for the next read before it ends.
constexpr std::chrono::milliseconds IDLE{250};
// Looks at a flag before sleeping on it: some tens of microseconds.
constexpr int SPINS = 2000;

void spin_until(const std::atomic<bool>& flag) {
    for (int i = 0; i < SPINS && !flag.load(std::memory_order_acquire); ++i) {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#else
        std::this_thread::yield();
#endif
    }
}

} // namespace

bool read_around(PAL::File& file, std::int64_t offset, char* into, std::uint32_t count,
                 const Gaps& gaps, std::uint32_t& got) {
    got = 0;
    std::int64_t at = offset;
    const std::int64_t end = offset + count;
    for (std::size_t i = 0; i <= gaps.size(); ++i) {
        const std::int64_t stop = i < gaps.size() ? gaps[i].first : end;
        if (stop > at) {
            const auto wanted = static_cast<std::uint32_t>(stop - at);
            std::uint32_t read = 0;
            if (!file.read_at(at, into + (at - offset), wanted, read)) {
                got = 0;
                return false;
            }
            got = static_cast<std::uint32_t>(at - offset) + read;
            if (read < wanted)
                return true;
        }
        if (i < gaps.size())
            at = gaps[i].second;
    }
    got = count;
    return true;
}

ReadAhead::~ReadAhead() {
    {
        const std::lock_guard<std::mutex> hold(lock);
        stop = true;
    }
    wake.notify_one();
    if (worker.joinable())
        worker.join();
}

void ReadAhead::start(std::int64_t offset, char* into, std::uint32_t count, AfterRead after,
                      Gaps skip) {
    std::unique_lock<std::mutex> hold(lock);
    job_gaps = std::move(skip);
    job_offset = offset;
    job_count = count;
    target = into;
    then = std::move(after);
    job = true;
    ready = false;
    result_posted.store(false, std::memory_order_relaxed);
    waited_for.store(false, std::memory_order_relaxed);
    job_posted.store(true, std::memory_order_release);
    started = true;
    if (!alive) {
        // The thread that timed out has ended or is ending: it takes no job.
        hold.unlock();
        if (worker.joinable())
            worker.join();
        hold.lock();
        try {
            worker = std::thread(&ReadAhead::run, this);
            alive = true;
            return;
        } catch (const std::system_error&) {
            // No thread to be had: the read is done here, and wait() finds it done.
            job = false;
            job_posted.store(false, std::memory_order_relaxed);
            hold.unlock();
            std::uint32_t got = 0;
            result = read_around(file, offset, into, count, job_gaps, got);
            result_got = result ? got : 0;
            result_error = result ? 0 : file.last_error();
            if (result && then)
                then(got, job_gaps, waited_for);
            then = nullptr;
            ready = true;
            result_posted.store(true, std::memory_order_release);
            return;
        }
    }
    hold.unlock();
    wake.notify_one();
}

bool ReadAhead::wait(std::uint32_t& got, std::uint32_t& error) {
    waited_for.store(true, std::memory_order_relaxed);
    spin_until(result_posted);
    std::unique_lock<std::mutex> hold(lock);
    done.wait(hold, [this] { return ready; });
    started = false;
    ready = false;
    got = result_got;
    error = result_error;
    return result;
}

void ReadAhead::run() {
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
        if (!job && !stop) {
            hold.unlock();
            spin_until(job_posted);
            hold.lock();
        }
        if (!wake.wait_for(hold, IDLE, [this] { return job || stop; })) {
            alive = false; // idle: the next start makes a new thread
            return;
        }
        if (stop)
            return;
        job = false;
        job_posted.store(false, std::memory_order_relaxed);
        const std::int64_t offset = job_offset;
        const std::uint32_t count = job_count;
        char* const into = target;
        const AfterRead after = std::move(then);
        then = nullptr;
        hold.unlock();
        std::uint32_t got = 0;
        const bool ok = read_around(file, offset, into, count, job_gaps, got);
        // Taken before the lock: the caller uses the file only after wait().
        const std::uint32_t error = ok ? 0 : file.last_error();
        if (ok && after)
            after(got, job_gaps, waited_for);
        hold.lock();
        result = ok;
        result_got = ok ? got : 0;
        result_error = error;
        ready = true;
        result_posted.store(true, std::memory_order_release);
        // Woken after the lock is free, the caller does not block on it again.
        hold.unlock();
        done.notify_one();
        hold.lock();
    }
}

} // namespace orvoeng
