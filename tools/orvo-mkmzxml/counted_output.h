// The file being written: large buffered writes, the byte position of
// everything appended (so index offsets come from counting, not from
// seeking) and an incremental SHA-1 of the bytes while they pass.
#pragma once

#include <nettle/sha1.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace mkmzxml {

// A failed open, write or close; the message names the path.
class IoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class OutputFile {
public:
    // Creates or truncates `path`. With `hash` false no digest is kept.
    OutputFile(std::string path, bool hash);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::string_view text) {
        if (text.size() > buffer.size() - used)
            return write_past_buffer(text);
        text.copy(buffer.data() + used, text.size());
        used += text.size();
    }

    // Bytes appended so far: the offset at which the next byte will stand.
    std::uint64_t position() const { return flushed + used; }

    // Lower-case hex SHA-1 of every byte appended so far; bytes appended
    // afterwards are no longer hashed.
    std::string finish_digest();

    // Writes what is buffered and closes the file.
    void close();

private:
    void write_past_buffer(std::string_view text);
    void flush();
    void hash_pending();
    [[noreturn]] void fail(const char* what) const;

    std::string path;
    std::FILE* file = nullptr;
    std::vector<char> buffer;
    std::size_t used = 0;
    std::size_t hashed = 0; // bytes of `buffer` already hashed
    std::uint64_t flushed = 0;
    bool hashing;
    sha1_ctx sha;
};

} // namespace mkmzxml
