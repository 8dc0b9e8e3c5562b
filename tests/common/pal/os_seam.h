// Swapping entries of the platform layer's OS table inside a test.
#pragma once

#include <os/syscalls.h>

#include <cstddef>

namespace pal_test {

// Gives the test the table in force and puts the native table back when the
// test's scope ends, whatever it swapped and however it leaves.
class SyscallsGuard {
public:
    SyscallsGuard() = default;
    ~SyscallsGuard() { PAL::os::syscalls() = PAL::os::native_syscalls(); }
    SyscallsGuard(const SyscallsGuard&) = delete;
    SyscallsGuard& operator=(const SyscallsGuard&) = delete;

    PAL::os::Syscalls& table() { return PAL::os::syscalls(); }
};

// Whether `address` lies inside the `size` bytes of the object at `object`,
// e.g. whether a native lock belongs to a given record or socket.
inline bool points_into(const void* address, const void* object, std::size_t size) {
    auto a = static_cast<const unsigned char*>(address);
    auto o = static_cast<const unsigned char*>(object);
    return a >= o && a < o + size;
}

} // namespace pal_test
