// The repaired copy while it is written: a temporary file beside the
// target, renamed over it only once the caller commits, so a target is
// never left half written and an earlier file of that name survives a
// failed repair. Counts the bytes written (index offsets come from
// counting) and hashes them for the copy's <sha1>. Hashing and writing a
// full buffer run on a thread of their own while the next one fills.
#pragma once

#include <nettle/sha1.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <string_view>
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
        if (bytes.size() > buffer.size() - used)
            return write_large(bytes);
        bytes.copy(buffer.data() + used, bytes.size());
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
    const std::filesystem::path& temporary() const { return temp_path; }
    // Renames the temporary file to the target; raises RepairIoError.
    void commit();

private:
    void write_large(std::string_view bytes);
    // Hands the full buffer to the background and takes the spare one.
    void flush();
    // Waits for the background's work; raises what it met.
    void settle();

    std::filesystem::path target;
    std::filesystem::path temp_path;
    std::FILE* file = nullptr;
    std::vector<char> buffer;
    std::vector<char> spare; // the buffer being hashed and written
    std::future<void> pending;
    std::size_t used = 0;
    std::uint64_t flushed = 0;
    sha1_ctx sha;
    bool hashing = true;
    bool committed = false;
};

} // namespace orvohost::repair
