// The pages of a list asked for on a thread of their own. Each page of fresh
// memory costs a page fault at its first write, and where the OS is short of
// large pages those of a scan list of 300,000 records took a fifth of the
// header pass that writes them. The open makes room for the list before it
// reads the index, which keeps one core busy, and the other core asks for
// the pages meanwhile.
#pragma once

#include <pal/memory.h>

#include <cstddef>
#include <system_error>
#include <thread>

namespace orvoeng {

class PagesAhead {
public:
    PagesAhead() = default;
    PagesAhead(const PagesAhead&) = delete;
    PagesAhead& operator=(const PagesAhead&) = delete;
    ~PagesAhead() { wait(); }

    // Below this, the page faults cost less than a thread's start.
    static constexpr std::size_t WORTH_A_THREAD = std::size_t{1} << 20;

    // Starts asking for the pages of `bytes` at `data`, which must stay
    // allocated until wait(). Without a thread to be had, or for less than
    // WORTH_A_THREAD, none are asked for: the writes fault them in.
    void start(void* data, std::size_t bytes) {
        wait();
        if (bytes < WORTH_A_THREAD)
            return;
        try {
            worker = std::thread([data, bytes] { PAL::populate_pages(data, bytes); });
        } catch (const std::system_error&) {
        }
    }

    // Returns once the pages asked for are given.
    void wait() {
        if (worker.joinable())
            worker.join();
    }

private:
    std::thread worker;
};

} // namespace orvoeng
