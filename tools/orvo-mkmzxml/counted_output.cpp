#include "counted_output.h"
#include "sha1_text.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace mkmzxml {

namespace {
// Eight MiB a write: a gigabyte takes 128 system calls.
constexpr std::size_t BUFFER_SIZE = 8u << 20;
} // namespace

OutputFile::OutputFile(std::string file_path, bool hash)
    : path(std::move(file_path)), buffer(BUFFER_SIZE), hashing(hash) {
    file = std::fopen(path.c_str(), "wb");
    if (!file)
        fail("cannot create");
    std::setvbuf(file, nullptr, _IONBF, 0);
    sha1_init(&sha);
}

OutputFile::~OutputFile() {
    if (file)
        std::fclose(file);
}

void OutputFile::write_past_buffer(std::string_view text) {
    flush();
    if (text.size() <= buffer.size()) {
        text.copy(buffer.data(), text.size());
        used = text.size();
        return;
    }
    // A piece larger than the whole buffer goes straight to the file.
    if (hashing)
        sha1_update(&sha, text.size(), reinterpret_cast<const std::uint8_t*>(text.data()));
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size())
        fail("cannot write");
    flushed += text.size();
}

void OutputFile::hash_pending() {
    if (hashing && used > hashed)
        sha1_update(&sha, used - hashed,
                    reinterpret_cast<const std::uint8_t*>(buffer.data()) + hashed);
    hashed = used;
}

void OutputFile::flush() {
    hash_pending();
    if (used > 0 && std::fwrite(buffer.data(), 1, used, file) != used)
        fail("cannot write");
    flushed += used;
    used = 0;
    hashed = 0;
}

std::string OutputFile::finish_digest() {
    hash_pending();
    hashing = false;
    return sha1_hex(sha);
}

void OutputFile::close() {
    flush();
    std::FILE* done = file;
    file = nullptr;
    if (std::fclose(done) != 0)
        fail("cannot write");
}

void OutputFile::fail(const char* what) const {
    throw IoError(std::string(what) + " " + path + ": " + std::strerror(errno));
}

} // namespace mkmzxml
