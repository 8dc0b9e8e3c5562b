// The repaired copy while it is written: a temporary file beside the
// target, renamed over it only once the caller commits, so a target is
// never left half written and an earlier file of that name survives a
// failed repair. Counts the bytes written (index offsets come from
// counting) and hashes them for the copy's <sha1>.
#pragma once

#include <nettle/sha1.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
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

    // Lower-case hex SHA-1 of every byte written so far.
    std::string digest();

    // Writes what is buffered and closes the file; raises RepairIoError.
    void close();
    // The temporary file, closed, for a look before committing.
    const std::filesystem::path& temporary() const { return temp_path; }
    // Renames the temporary file to the target; raises RepairIoError.
    void commit();

private:
    void write_large(std::string_view bytes);
    void flush();

    std::filesystem::path target;
    std::filesystem::path temp_path;
    std::FILE* file = nullptr;
    std::vector<char> buffer;
    std::size_t used = 0;
    std::uint64_t flushed = 0;
    sha1_ctx sha;
    bool committed = false;
};

} // namespace orvohost::repair
