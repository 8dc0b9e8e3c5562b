// The headers of the scans the index has listed so far, read on a thread of
// their own while the open reads the rest of the index. The index's lines
// keep one core busy (each posts its notice, in order, on the caller's
// thread); the other core meanwhile reads the first scans' headers, which
// the open's header pass then finds done. The thread reads with a file
// handle and a buffer of its own, its scans in order, each as the header
// pass would: in one pass (one_pass_header.h), whole, with a level a record
// carries. It stops at the first scan that is not so, which the header pass
// reads its own way, and when the open has read the index.
#pragma once

#include <ds/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace orvoeng {

class EarlyHeaders {
public:
    EarlyHeaders() = default;
    EarlyHeaders(const EarlyHeaders&) = delete;
    EarlyHeaders& operator=(const EarlyHeaders&) = delete;
    ~EarlyHeaders() { finish(); }

    // Below this room for records, the headers are not worth a thread.
    static constexpr std::size_t WORTH_A_THREAD = std::size_t{1} << 20;

    // Starts the thread on the file at `path` of `size` bytes. `offsets`
    // points to the index being read, whose room is not moved until
    // finish(); `records` (empty, its room reserved) is the thread's until
    // finish(), which has the record of each scan read added, within the
    // room. With `to_the_end`, finish() waits for every scan listed to be
    // read, so that tests have all of them read early. Without a thread to
    // be had, nothing is read.
    void start(const std::wstring& path, std::int64_t size, const std::int64_t* offsets,
               std::vector<ScanRecord>& records, bool to_the_end);

    // The index now lists `count` offsets; the last scan's bytes end where
    // the next offset starts, so `count` - 1 scans can be read.
    void listed(std::size_t count) { listed_count.store(count, std::memory_order_release); }

    // Ends the thread. The records of the first read() scans are in the
    // list; centroided() of them state their centroiding.
    void finish();
    std::size_t read() const { return read_count; }
    std::uint32_t centroided() const { return centroided_count; }

private:
    void run(std::wstring path, std::int64_t size, const std::int64_t* offsets,
             std::vector<ScanRecord>* records) noexcept;
    // Whether the index lists `count` offsets, waiting while it is read;
    // false once the thread is to stop, or the listing ended short of them.
    bool wait_for_offsets(std::size_t count) const;
    void read_scans(const std::wstring& path, std::int64_t size, const std::int64_t* offsets,
                    std::vector<ScanRecord>& records);

    std::thread worker;
    std::atomic<std::size_t> listed_count{0};
    std::atomic<bool> stop{false};          // at the next scan
    std::atomic<bool> listing_ended{false}; // once the scans listed are read
    bool thorough = false;
    std::size_t read_count = 0;
    std::uint32_t centroided_count = 0;
};

} // namespace orvoeng
