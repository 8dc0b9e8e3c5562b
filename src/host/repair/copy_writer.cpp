#include "copy_writer.h"

#include "repair_error.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

namespace orvohost::repair {

namespace {

constexpr std::size_t BUFFER_BYTES = std::size_t{4} << 20;

std::string hex(const std::uint8_t* bytes, std::size_t size) {
    static constexpr char DIGITS[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += DIGITS[bytes[i] >> 4];
        text += DIGITS[bytes[i] & 0xF];
    }
    return text;
}

} // namespace

CopyWriter::CopyWriter(std::filesystem::path target_path)
    : target(std::move(target_path)), buffer(BUFFER_BYTES) {
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
    if (file)
        std::fclose(file);
    if (!committed) {
        std::error_code ignored;
        std::filesystem::remove(temp_path, ignored);
    }
}

void CopyWriter::flush() {
    if (used == 0)
        return;
    sha1_update(&sha, used, reinterpret_cast<const std::uint8_t*>(buffer.data()));
    if (std::fwrite(buffer.data(), 1, used, file) != used)
        throw RepairIoError("cannot write " + temp_path.string() + ": " + std::strerror(errno));
    flushed += used;
    used = 0;
}

void CopyWriter::write_large(std::string_view bytes) {
    flush();
    if (bytes.size() < buffer.size()) {
        bytes.copy(buffer.data(), bytes.size());
        used = bytes.size();
        return;
    }
    sha1_update(&sha, bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        throw RepairIoError("cannot write " + temp_path.string() + ": " + std::strerror(errno));
    flushed += bytes.size();
}

std::string CopyWriter::digest() {
    sha1_update(&sha, used, reinterpret_cast<const std::uint8_t*>(buffer.data()));
    // The digest goes on with the bytes after it: a copy of the state is
    // finished, the state itself keeps hashing from the flush on.
    sha1_ctx copy = sha;
    std::uint8_t bytes[SHA1_DIGEST_SIZE];
    sha1_digest(&copy, SHA1_DIGEST_SIZE, bytes);
    // Those bytes are hashed; the flush must not hash them again.
    if (std::fwrite(buffer.data(), 1, used, file) != used)
        throw RepairIoError("cannot write " + temp_path.string() + ": " + std::strerror(errno));
    flushed += used;
    used = 0;
    return hex(bytes, SHA1_DIGEST_SIZE);
}

void CopyWriter::close() {
    flush();
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
