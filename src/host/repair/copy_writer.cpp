#include "copy_writer.h"

#include "repair_error.h"

#include <host/base/hex.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace orvohost::repair {

namespace {

// Chunks published before the sleeping thread is woken: one wake-up for
// several chunks rather than one for each.
constexpr std::uint64_t WAKE_AFTER = 4;

} // namespace

CopyWriter::CopyWriter(std::filesystem::path target_path)
    : place(std::move(target_path)), file(place.stream()), chunks(CHUNKS), sizes(CHUNKS),
      skip_hash(CHUNKS) {
    sha1_init(&sha);
    ready_chunk();
    if (!file)
        throw RepairIoError("cannot write beside " + place.target().string() + ": " +
                            std::strerror(place.open_error()));
}

// The file's own destructor removes the temporary file unless committed.
CopyWriter::~CopyWriter() {
    stop();
}

void CopyWriter::stop() {
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    work.notify_one();
    if (thread.joinable())
        thread.join();
}

void CopyWriter::drain_chunks() {
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        if (failure)
            return;
        if (hashed < filled) {
            const std::size_t slot = hashed % CHUNKS;
            const bool hash = hashing && !skip_hash[slot];
            guard.unlock();
            if (hash)
                sha1_update(&sha, sizes[slot],
                            reinterpret_cast<const std::uint8_t*>(chunks[slot].get()));
            guard.lock();
            ++hashed;
            // A caller waiting for room may write it.
            wake_caller();
            continue;
        }
        if (can_write()) {
            write_next(guard);
            continue;
        }
        if (stopping)
            return;
        thread_idle = true;
        work.wait(guard, [&] { return hashed < filled || can_write() || stopping || failure; });
        thread_idle = false;
    }
}

void CopyWriter::write_next(std::unique_lock<std::mutex>& guard) {
    writing = true;
    const std::size_t slot = done % CHUNKS;
    guard.unlock();
    const bool ok = std::fwrite(chunks[slot].get(), 1, sizes[slot], file) == sizes[slot];
    const int error = errno;
    guard.lock();
    writing = false;
    if (!ok) {
        failure = std::make_exception_ptr(RepairIoError(
            "cannot write " + place.temporary().string() + ": " + std::strerror(error)));
        room.notify_one();
        work.notify_one();
        return;
    }
    ++done;
    wake_caller();
    // Written by the caller: a thread that slept while it did may write on.
    if (thread_idle && can_write())
        work.notify_one();
}

void CopyWriter::wake_caller() {
    if (caller_waiting && (done >= wake_at || can_write()))
        room.notify_one();
}

void CopyWriter::wait_done(std::unique_lock<std::mutex>& guard, std::uint64_t count) {
    while (done < count && !failure) {
        if (can_write()) {
            write_next(guard);
            continue;
        }
        if (thread_idle)
            work.notify_one();
        wake_at = count;
        caller_waiting = true;
        room.wait(guard, [&] { return failure || done >= count || can_write(); });
        caller_waiting = false;
    }
    if (failure)
        std::rethrow_exception(failure);
}

void CopyWriter::publish(bool hashed_already) {
    if (!thread.joinable())
        thread = std::thread([this] { drain_chunks(); });
    {
        std::unique_lock<std::mutex> guard(lock);
        const std::size_t slot = filled % CHUNKS;
        sizes[slot] = used;
        skip_hash[slot] = hashed_already;
        flushed += used;
        used = 0;
        ++filled;
        if (thread_idle && filled - hashed >= WAKE_AFTER)
            work.notify_one();
        // The ring full: the caller writes, or waits, until half of it is
        // free, not woken for each chunk the thread frees.
        if (filled - done == CHUNKS)
            wait_done(guard, filled - CHUNKS / 2);
        else if (failure)
            std::rethrow_exception(failure);
    }
    ready_chunk();
}

void CopyWriter::publish_part(bool hashed_already) {
    if (thread.joinable())
        return publish(hashed_already);
    if (hashing && !hashed_already)
        sha1_update(&sha, used, reinterpret_cast<const std::uint8_t*>(chunk()));
    if (std::fwrite(chunk(), 1, used, file) != used)
        throw RepairIoError("cannot write " + place.temporary().string() + ": " +
                            std::strerror(errno));
    flushed += used;
    used = 0;
}

void CopyWriter::ready_chunk() {
    auto& next = chunks[filled % CHUNKS];
    if (!next)
        next = std::make_unique_for_overwrite<char[]>(CHUNK_BYTES);
}

void CopyWriter::settle() {
    std::unique_lock<std::mutex> guard(lock);
    wait_done(guard, filled);
}

void CopyWriter::write_large(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t part = std::min(bytes.size(), CHUNK_BYTES - used);
        bytes.copy(chunk() + used, part);
        used += part;
        bytes.remove_prefix(part);
        if (used == CHUNK_BYTES)
            publish(false);
    }
}

std::string CopyWriter::digest() {
    settle();
    sha1_update(&sha, used, reinterpret_cast<const std::uint8_t*>(chunk()));
    // A copy of the state is finished; the state itself goes on with the
    // bytes after the digest.
    sha1_ctx copy = sha;
    std::uint8_t bytes[SHA1_DIGEST_SIZE];
    sha1_digest(&copy, SHA1_DIGEST_SIZE, bytes);
    // These bytes are hashed already: they are written, not hashed again.
    if (used > 0)
        publish_part(true);
    return hex(bytes, SHA1_DIGEST_SIZE);
}

void CopyWriter::start_over(bool hash) {
    settle();
    std::lock_guard<std::mutex> guard(lock);
    file = place.start_over() ? place.stream() : nullptr;
    if (!file)
        throw RepairIoError("cannot write " + place.temporary().string() + ": " +
                            std::strerror(errno));
    used = 0;
    flushed = 0;
    sha1_init(&sha);
    hashing = hash;
}

void CopyWriter::close() {
    if (used > 0)
        publish_part(false);
    settle();
    stop();
    file = nullptr;
    if (!place.close())
        throw RepairIoError("cannot write " + place.temporary().string() + ": " +
                            std::strerror(errno));
}

void CopyWriter::commit() {
    if (file)
        close();
    if (const std::error_code error = place.place())
        throw RepairIoError("cannot rename " + place.temporary().string() + " to " +
                            place.target().string() + ": " + error.message());
}

} // namespace orvohost::repair
