// A file opened read-only and shared for reading: the platform layer's file
// seam. Positions and sizes are 64-bit everywhere.
#pragma once

#include <pal/api.h>

#include <cstdint>
#include <string>

namespace PAL {

class PAL_API File {
public:
    enum Origin { BEGIN = 0, CURRENT = 1, END = 2 };

    File() : handle(INVALID) {}
    ~File() { close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens an existing file for reading, shared for reading. The wide path
    // is converted with the user's default locale. False on failure, with the
    // OS error number in last_error().
    bool open_read(const std::wstring& path);
    bool is_open() const { return handle != INVALID; }
    void close();

    // Moves the file position; false when the OS refuses (before the start,
    // for example), leaving the position where it was.
    bool seek(std::int64_t distance, Origin origin);
    bool tell(std::int64_t& position) const;
    bool size(std::int64_t& bytes) const;

    // Reads up to `count` bytes at the current position and moves past them.
    // `got` is 0 at the end of the file. False on a read error.
    bool read(void* buffer, std::uint32_t count, std::uint32_t& got);

    // Reads up to `count` bytes at `offset`, asking again after a short read
    // or one a signal interrupted, until `count` bytes or the end of the
    // file. False on a read error, with `got` 0 and the OS error number in
    // last_error(). Leaves the file position alone: every reader operation
    // positions the file itself.
    bool read_at(std::int64_t offset, void* buffer, std::uint32_t count, std::uint32_t& got);

    std::uint32_t last_error() const { return error; }

    static constexpr std::intptr_t INVALID = -1;

private:
    std::intptr_t handle;
    mutable std::uint32_t error = 0;
};

} // namespace PAL
