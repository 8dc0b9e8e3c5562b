// One positioned read of a file done on a thread of its own, so that the
// bytes of the next block arrive while the reader works through the current
// one. At most one read is in flight; whoever started it waits for it
// before using the file again, so the file is never read by two threads at
// once.
//
// The thread is made at the first read and ends after a short idle time: a
// host that keeps many files open keeps no idle threads for them.
#pragma once

#include <pal/file.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace orvoeng {

// Byte ranges of a read that are not wanted: [first, second), in order,
// inside the read. They are left unread, each a read fewer than its bytes.
using Gaps = std::vector<std::pair<std::int64_t, std::int64_t>>;

// `count` bytes at `offset` into `into` (byte i of the file at into[i -
// offset]) but for the gaps, which are left as they are: a read per
// stretch between them. `got` is the bytes up to the end of the last
// stretch read, shorter at the file's end; a stretch that ends early ends
// the read there. False on a read error, with `got` 0.
bool read_around(PAL::File& file, std::int64_t offset, char* into, std::uint32_t count,
                 const Gaps& gaps, std::uint32_t& got);

class ReadAhead {
public:
    explicit ReadAhead(PAL::File& opened) : file(opened) {}
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // What the thread does with the bytes of a read that succeeded, before
    // the caller's wait() returns: the bytes read so far, and the gaps left
    // unread in them. `wanted` turns true once the caller waits for them;
    // work that is only a help then stops, so that neither thread idles
    // while the other works.
    using AfterRead =
        std::function<void(std::uint32_t got, const Gaps& gaps, const std::atomic<bool>& wanted)>;

    // Starts reading `count` bytes at `offset` into `into`, which stays the
    // caller's and must not be touched until wait() returns; then `after`,
    // when given and the read succeeded.
    void start(std::int64_t offset, char* into, std::uint32_t count, AfterRead after = {},
               Gaps skip = {});

    bool busy() const { return started; }
    std::int64_t offset() const { return job_offset; }
    std::uint32_t count() const { return job_count; }
    // The gaps of the read started, for whoever takes its bytes; valid
    // after wait().
    Gaps& gaps() { return job_gaps; }

    // Waits for the read started; false when it failed, with the OS error
    // number in `error`. `got` is the bytes read.
    bool wait(std::uint32_t& got, std::uint32_t& error);

private:
    void run();

    PAL::File& file;
    bool started = false; // a read was started and not yet waited for
    std::int64_t job_offset = 0;
    std::uint32_t job_count = 0;

    std::mutex lock;
    std::condition_variable wake; // a job, or the end, for the thread
    std::condition_variable done; // the job's result, for the caller
    std::thread worker;
    bool alive = false; // the thread runs and takes jobs
    bool stop = false;
    bool job = false;   // a job waits for the thread
    bool ready = false; // the job's result is there
    // `job` and `ready` as seen without the lock, for a short spin before
    // sleeping: blocks alternate between the threads every millisecond or
    // so, and a thread put to sleep wakes later than the other side is done.
    std::atomic<bool> job_posted{false};
    std::atomic<bool> result_posted{false};
    std::atomic<bool> waited_for{false}; // the caller waits for the job
    char* target = nullptr;
    AfterRead then;
    Gaps job_gaps;
    bool result = false;
    std::uint32_t result_got = 0;
    std::uint32_t result_error = 0;
};

} // namespace orvoeng
