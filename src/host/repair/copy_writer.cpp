#include "copy_writer.h"

#include "repair_error.h"

#include <sha1_check.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

namespace orvohost::repair {

CopyWriter::CopyWriter(std::filesystem::path target_path)
    : target(std::move(target_path)), chunks(CHUNKS * CHUNK_BYTES), sizes(CHUNKS),
      skip_hash(CHUNKS) {
    sha1_init(&sha);
    // A name of its own in the target's folder: the rename then stays on one
    // file system, and two repairs never share a temporary file.
    std::random_device random;
    for (int attempt = 0; attempt < 16 && !file; ++attempt) {
        temp_path = target;
        temp_path += ".repair-" + std::to_string(random()) + ".tmp";
        std::error_code ignored;
        if (std::filesystem::exists(temp_path, ignored))
            continue;
        file = std::fopen(temp_path.string().c_str(), "wb");
        if (!file)
            break;
    }
    if (!file)
        throw RepairIoError("cannot write beside " + target.string() + ": " + std::strerror(errno));
    hasher = std::thread([this] { hash_chunks(); });
    writer = std::thread([this] { write_chunks(); });
}

CopyWriter::~CopyWriter() {
    stop();
    if (file)
        std::fclose(file);
    if (!committed) {
        std::error_code ignored;
        std::filesystem::remove(temp_path, ignored);
    }
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
                        reinterpret_cast<const std::uint8_t*>(chunks.data() + slot * CHUNK_BYTES));
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
        const bool ok =
            std::fwrite(chunks.data() + slot * CHUNK_BYTES, 1, sizes[slot], file) == sizes[slot];
        const int error = errno;
        guard.lock();
        if (!ok) {
            failure = std::make_exception_ptr(
                RepairIoError("cannot write " + temp_path.string() + ": " + std::strerror(error)));
            changed.notify_all();
            return;
        }
        ++written;
        changed.notify_all();
    }
}

void CopyWriter::publish(bool hashed_already) {
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
        publish(true);
    return hex(bytes, SHA1_DIGEST_SIZE);
}

void CopyWriter::close() {
    if (used > 0)
        publish(false);
    settle();
    stop();
    const bool failed = std::fflush(file) != 0 || std::ferror(file);
    const bool close_failed = std::fclose(file) != 0;
    file = nullptr;
    if (failed || close_failed)
        throw RepairIoError("cannot write " + temp_path.string() + ": " + std::strerror(errno));
}

void CopyWriter::commit() {
    if (file)
        close();
    std::error_code error;
    std::filesystem::rename(temp_path, target, error);
    if (error)
        throw RepairIoError("cannot rename " + temp_path.string() + " to " + target.string() +
                            ": " + error.message());
    committed = true;
}

} // namespace orvohost::repair
