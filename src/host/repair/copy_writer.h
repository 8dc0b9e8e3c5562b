// The repaired copy while it is written: a temporary file beside the
// target, renamed over it only once the caller commits, so a target is
// never left half written and an earlier file of that name survives a
// failed repair. Counts the bytes written (index offsets come from
// counting) and hashes them for the copy's <sha1>.
//
// Bytes are gathered in small chunks, small enough to stay in the
// processor's cache while they are hashed and written: a thread of its own
// hashes each full chunk while the next ones fill, and writes the hashed
// ones when it has nothing to hash. The hashing, which cannot be shared, is
// often the slower side: a caller that finds the ring full writes hashed
// chunks itself rather than sleep, so the writing goes to whichever side
// has time. The thread is woken for several chunks at once: on a machine of
// few cores a thread put to sleep and woken for each chunk costs more than
// the hashing. A copy smaller than a chunk is hashed and written on the
// caller's thread.
#pragma once

#include <host/base/file_into_place.h>

#include <nettle/sha1.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace orvohost::repair {

class CopyWriter {
public:
    // Raises RepairIoError when the temporary file cannot be created.
    explicit CopyWriter(std::filesystem::path target);
    // Removes the temporary file unless committed.
    ~CopyWriter();
    CopyWriter(const CopyWriter&) = delete;
    CopyWriter& operator=(const CopyWriter&) = delete;

    void write(std::string_view bytes) {
        if (bytes.size() > CHUNK_BYTES - used)
            return write_large(bytes);
        bytes.copy(chunk() + used, bytes.size());
        used += bytes.size();
    }

    std::uint64_t position() const { return flushed + used; }

    // Lower-case hex SHA-1 of every byte written so far; with `hashing`
    // false (a file that has no digest to renew) nothing is hashed.
    std::string digest();
    void set_hashing(bool on) { hashing = on; }

    // Forgets every byte written: the file is empty again, to be written
    // from its start, hashed or not. Raises RepairIoError.
    void start_over(bool hash);
    // Writes what is buffered and closes the file; raises RepairIoError.
    void close();
    // The temporary file, closed, for a look before committing.
    const std::filesystem::path& temporary() const { return place.temporary(); }
    // Renames the temporary file to the target; raises RepairIoError.
    void commit();

    static constexpr std::size_t CHUNK_BYTES = std::size_t{128} << 10;

private:
    static constexpr std::size_t CHUNKS = 16;

    char* chunk() { return chunks[filled % CHUNKS].get(); }
    // Allocates the chunk to fill next when it is first used: a small copy
    // takes one chunk, not all of them.
    void ready_chunk();
    void write_large(std::string_view bytes);
    // Hands the chunk being filled to the thread, started on the first full
    // chunk; waits for a free one.
    void publish(bool hashed_already);
    // Hands over the chunk being filled before it is full: hashed and
    // written right here while the thread has not been needed, so a small
    // copy starts none.
    void publish_part(bool hashed_already);
    // Waits, the lock held, until `count` chunks are written, writing
    // hashed ones meanwhile; raises what the writing met.
    void wait_done(std::unique_lock<std::mutex>& guard, std::uint64_t count);
    // Waits until every published chunk is hashed and written.
    void settle();
    // The thread: hashes the published chunks in turn, and writes hashed
    // ones when none is left to hash.
    void drain_chunks();
    // Whether a hashed chunk waits to be written and no one is writing.
    bool can_write() const { return done < hashed && !writing && !failure; }
    // Writes the next hashed chunk, the lock held on entry and on return.
    void write_next(std::unique_lock<std::mutex>& guard);
    // Wakes a caller waiting for room once it has some, or a chunk to write.
    void wake_caller();
    void stop();

    FileIntoPlace place;
    std::FILE* file;                             // the place's stream while it is open
    std::vector<std::unique_ptr<char[]>> chunks; // CHUNKS chunks, used in turn
    std::vector<std::size_t> sizes;
    std::vector<bool> skip_hash; // hashed by digest() already
    std::size_t used = 0;        // bytes in the chunk being filled
    std::uint64_t flushed = 0;
    sha1_ctx sha;
    bool hashing = true;

    std::mutex lock;
    std::condition_variable work; // the thread waits here for chunks
    std::condition_variable room; // the caller waits here for free chunks
    std::uint64_t filled = 0;     // chunks published
    std::uint64_t hashed = 0;     // chunks hashed (or that need no hashing)
    std::uint64_t done = 0;       // chunks written, all of them hashed
    bool writing = false;         // a chunk is being written, by either side
    std::uint64_t wake_at = 0;    // the caller waits for `done` to reach it
    bool thread_idle = false;     // the thread sleeps until woken
    bool caller_waiting = false;
    bool stopping = false;
    std::exception_ptr failure;
    std::thread thread;
};

} // namespace orvohost::repair
