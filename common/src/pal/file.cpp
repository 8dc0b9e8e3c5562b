#include <pal/file.h>

#include "os/syscalls.h"

namespace PAL {

bool File::open_read(const std::wstring& path) {
    close();
    handle = os::syscalls().file_open(path, error);
    return handle != INVALID;
}

void File::close() {
    if (handle != INVALID) {
        os::syscalls().file_close(handle);
        handle = INVALID;
    }
}

bool File::seek(std::int64_t distance, Origin origin) {
    return is_open() && os::syscalls().file_seek(handle, distance, origin, error) >= 0;
}

bool File::tell(std::int64_t& position) const {
    if (!is_open())
        return false;
    const std::int64_t at = os::syscalls().file_seek(handle, 0, CURRENT, error);
    if (at < 0)
        return false;
    position = at;
    return true;
}

bool File::size(std::int64_t& bytes) const {
    if (!is_open())
        return false;
    const std::int64_t n = os::syscalls().file_size(handle, error);
    if (n < 0)
        return false;
    bytes = n;
    return true;
}

bool File::read(void* buffer, std::uint32_t count, std::uint32_t& got) {
    got = 0;
    if (!is_open())
        return false;
    const std::int64_t n = os::syscalls().file_read(handle, buffer, count, error);
    if (n < 0)
        return false;
    got = static_cast<std::uint32_t>(n);
    return true;
}

bool File::read_at(std::int64_t offset, void* buffer, std::uint32_t count, std::uint32_t& got) {
    got = 0;
    if (!is_open() || offset < 0)
        return false;
    const os::Syscalls& calls = os::syscalls();
    auto* out = static_cast<char*>(buffer);
    while (got < count) {
        const std::int64_t n =
            calls.file_read_at(handle, offset + got, out + got, count - got, error);
        if (n < 0) {
            if (calls.read_interrupted != 0 && error == calls.read_interrupted)
                continue;
            got = 0;
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<std::uint32_t>(n);
    }
    return true;
}

} // namespace PAL
