// The repaired copy while it is written: a temporary file beside the
// target, renamed over it only once the caller commits, so a target is
// never left half written and an earlier file of that name survives a
// failed repair. Counts the bytes written (index offsets come from
// counting) and hashes them for the copy's <sha1>.
//
// Bytes are gathered in small chunks, small enough to stay in the
// processor's cache while they are hashed and written: a thread hashes and
// another writes each full chunk while the next ones fill. A copy smaller
// than a chunk is hashed and written on the caller's thread.
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

    // Writes what is buffered and closes the file; raises RepairIoError.
    void close();
    // The temporary file, closed, for a look before committing.
    const std::filesystem::path& temporary() const { return place.temporary(); }
    // Renames the temporary file to the target; raises RepairIoError.
    void commit();

    static constexpr std::size_t CHUNK_BYTES = std::size_t{256} << 10;

private:
    static constexpr std::size_t CHUNKS = 16;

    char* chunk() { return chunks[filled % CHUNKS].get(); }
    // Allocates the chunk to fill next when it is first used: a small copy
    // takes one chunk, not all of them.
    void ready_chunk();
    void write_large(std::string_view bytes);
    // Hands the chunk being filled to the two threads, started on the first
    // full chunk; waits for a free one.
    void publish(bool hashed_already);
    // Hands over the chunk being filled before it is full: hashed and
    // written right here while the threads have not been needed, so a small
    // copy starts none.
    void publish_part(bool hashed_already);
    // Waits until every published chunk is hashed and written; raises what
    // the writing met.
    void settle();
    void hash_chunks();
    void write_chunks();
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
    std::condition_variable changed;
    std::uint64_t filled = 0; // chunks published
    std::uint64_t hashed = 0;
    std::uint64_t written = 0;
    bool stopping = false;
    std::exception_ptr failure;
    std::thread hasher;
    std::thread writer;
};

} // namespace orvohost::repair
