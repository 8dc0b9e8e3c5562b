// Thousands of data sources opened, listed, read whole and closed, one after
// another and from several threads at once: afterwards no file handle is
// open, no read-ahead thread is left and the heap holds what it held before.
#include "host_session.h"

#include "common/pal/os_seam.h"

#include <atomic>
#include <chrono>
#include <iostream>
#include <thread>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool SANITIZED = true;
#else
constexpr bool SANITIZED = false;
#endif

// Bytes the heap has handed out and not taken back, where the C library
// says so; a sanitizer's heap is its own, and its leak check covers it.
std::optional<std::size_t> heap_in_use() {
#if defined(__GLIBC__)
    if (!SANITIZED)
        return mallinfo2().uordblks;
#endif
    return std::nullopt;
}

// Threads of the process, where the system lists them.
std::optional<std::size_t> threads() {
#if defined(__linux__)
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
        ++n;
    return n;
#else
    return std::nullopt;
#endif
}

struct Handles {
    static inline std::atomic<long> open{0}, most{0};
    static void install(PAL::os::Syscalls& table) {
        table.file_open = [](const std::wstring& path, std::uint32_t& error) -> std::intptr_t {
            const auto handle = PAL::os::native_syscalls().file_open(path, error);
            if (handle >= 0) {
                const long now = ++open;
                for (long seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
                }
            }
            return handle;
        };
        table.file_close = [](std::intptr_t handle) {
            --open;
            PAL::os::native_syscalls().file_close(handle);
        };
    }
};

TEST(Soak, ConcurrentSessionsLeaveHandlesThreadsAndHeapFlat) {
    fixture::TempDir dir;
    const auto path = dir.write("soak.mzXML", fixture::generated_run(40, 20));
    const auto small_blocks = dir.write("soak-tiny.mzXML", fixture::generated_run(12, 20));
    pal_test::SyscallsGuard guard;
    Handles::install(guard.table());
    const auto session = [&](int n) {
        const bool tiny = n % 2 == 1;
        const fixture::Session s(tiny ? small_blocks : path, {}, {},
                                 tiny ? fixture::create_tiny_block_data_source
                                      : fixture::create_data_source);
        return s.complete() && s.scans.size() == (tiny ? 12u : 40u);
    };
    const int sequential = SANITIZED ? 400 : 3000;
    const int per_thread = SANITIZED ? 100 : 500;
    constexpr int THREADS = 4;

    for (int n = 0; n < 20; ++n) // the module's, the catalog's and the runtime's first allocations
        ASSERT_TRUE(session(n));
    const auto settle = [] {
        // Idle read-ahead threads end a quarter second after their last read.
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
    };
    settle();
    const auto heap_before = heap_in_use();
    const auto threads_before = threads();

    int failed = 0;
    for (int n = 0; n < sequential; ++n)
        failed += !session(n);
    std::atomic<int> failed_on_threads{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < THREADS; ++t)
        workers.emplace_back([&, t] {
            for (int n = 0; n < per_thread; ++n)
                failed_on_threads += !session(t + n);
        });
    for (auto& w : workers)
        w.join();
    settle();

    EXPECT_EQ(failed, 0);
    EXPECT_EQ(failed_on_threads, 0);
    EXPECT_EQ(Handles::open, 0) << "file handles left open";
    EXPECT_LE(Handles::most, 2 * THREADS) << "handles held at once";
    const int sessions = 20 + sequential + THREADS * per_thread;
    std::cout << "soak: " << sessions << " sessions (each a peek and an open), " << Handles::open
              << " handles open after, at most " << Handles::most << " at once\n";
    if (threads_before) {
        EXPECT_EQ(*threads(), *threads_before) << "threads left running";
        std::cout << "soak: " << *threads_before << " threads before, " << *threads() << " after\n";
    }
    if (heap_before) {
        const std::size_t after = *heap_in_use();
        std::cout << "soak: heap in use " << *heap_before << " bytes before, " << after
                  << " after\n";
        // Flat: a leak of a few bytes a session would pass a megabyte.
        EXPECT_LT(after, *heap_before + (std::size_t{1} << 20));
    }
}

} // namespace
