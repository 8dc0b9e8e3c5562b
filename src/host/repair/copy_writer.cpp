#include "copy_writer.h"

#include "repair_error.h"

#include <sha1_check.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

namespace orvohost::repair {

namespace {

constexpr std::size_t BUFFER_BYTES = std::size_t{4} << 20;

} // namespace

CopyWriter::CopyWriter(std::filesystem::path target_path)
    : target(std::move(target_path)), buffer(BUFFER_BYTES), spare(BUFFER_BYTES) {
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
}

CopyWriter::~CopyWriter() {
    if (pending.valid())
        pending.wait();
    if (file)
        std::fclose(file);
    if (!committed) {
        std::error_code ignored;
        std::filesystem::remove(temp_path, ignored);
    }
}

void CopyWriter::settle() {
    if (pending.valid())
        pending.get();
}

void CopyWriter::flush() {
    settle();
    if (used == 0)
        return;
    std::swap(buffer, spare);
    const std::size_t size = used;
    flushed += used;
    used = 0;
    pending = std::async(std::launch::async, [this, size] {
        if (hashing)
            sha1_update(&sha, size, reinterpret_cast<const std::uint8_t*>(spare.data()));
        if (std::fwrite(spare.data(), 1, size, file) != size)
            throw RepairIoError("cannot write " + temp_path.string() + ": " + std::strerror(errno));
    });
}

void CopyWriter::write_large(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t part = std::min(bytes.size(), buffer.size() - used);
        bytes.copy(buffer.data() + used, part);
        used += part;
        bytes.remove_prefix(part);
        if (used == buffer.size())
            flush();
    }
}

std::string CopyWriter::digest() {
    settle();
    sha1_update(&sha, used, reinterpret_cast<const std::uint8_t*>(buffer.data()));
    // A copy of the state is finished; the state itself goes on with the
    // bytes after the digest.
    sha1_ctx copy = sha;
    std::uint8_t bytes[SHA1_DIGEST_SIZE];
    sha1_digest(&copy, SHA1_DIGEST_SIZE, bytes);
    // These bytes are hashed already: written here, not by flush().
    if (std::fwrite(buffer.data(), 1, used, file) != used)
        throw RepairIoError("cannot write " + temp_path.string() + ": " + std::strerror(errno));
    flushed += used;
    used = 0;
    return hex(bytes, SHA1_DIGEST_SIZE);
}

void CopyWriter::close() {
    flush();
    settle();
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
