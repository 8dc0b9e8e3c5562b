#include "copy_writer.h"

#include "repair_error.h"

#include <host/base/hex.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace orvohost::repair {

CopyWriter::CopyWriter(std::filesystem::path target_path)
    : place(std::move(target_path)), file(place.stream()), chunks(CHUNKS), sizes(CHUNKS),
      skip_hash(CHUNKS) {
    sha1_init(&sha);
    ready_chunk();
    if (!file)
        throw RepairIoError("cannot write beside " + place.target().string() + ": " +
                            std::strerror(place.open_error()));
    hasher = std::thread([this] { hash_chunks(); });
    writer = std::thread([this] { write_chunks(); });
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
    changed.notify_all();
    if (hasher.joinable())
        hasher.join();
    if (writer.joinable())
        writer.join();
}

void CopyWriter::hash_chunks() {
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        changed.wait(guard, [&] { return hashed < filled || stopping; });
        if (hashed == filled)
            return;
        const std::size_t slot = hashed % CHUNKS;
        const bool skip = !hashing || skip_hash[slot];
        guard.unlock();
        if (!skip)
            sha1_update(&sha, sizes[slot],
                        reinterpret_cast<const std::uint8_t*>(chunks[slot].get()));
        guard.lock();
        ++hashed;
        changed.notify_all();
    }
}

void CopyWriter::write_chunks() {
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        changed.wait(guard, [&] { return written < filled || stopping; });
        if (written == filled || failure)
            return;
        const std::size_t slot = written % CHUNKS;
        guard.unlock();
        const bool ok = std::fwrite(chunks[slot].get(), 1, sizes[slot], file) == sizes[slot];
        const int error = errno;
        guard.lock();
        if (!ok) {
            failure = std::make_exception_ptr(RepairIoError(
                "cannot write " + place.temporary().string() + ": " + std::strerror(error)));
            changed.notify_all();
            return;
        }
        ++written;
        changed.notify_all();
    }
}

void CopyWriter::publish(bool hashed_already) {
    if (!hasher.joinable()) {
        hasher = std::thread([this] { hash_chunks(); });
        writer = std::thread([this] { write_chunks(); });
    }
    std::unique_lock<std::mutex> guard(lock);
    const std::size_t slot = filled % CHUNKS;
    sizes[slot] = used;
    skip_hash[slot] = hashed_already;
    flushed += used;
    used = 0;
    ++filled;
    changed.notify_all();
    // The next chunk is free once the threads are done with its last use.
    changed.wait(
        guard, [&] { return failure || (filled - hashed < CHUNKS && filled - written < CHUNKS); });
    if (failure)
        std::rethrow_exception(failure);
    ready_chunk();
}

void CopyWriter::publish_part(bool hashed_already) {
    if (hasher.joinable())
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
    changed.wait(guard, [&] { return failure || (hashed == filled && written == filled); });
    if (failure)
        std::rethrow_exception(failure);
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
