#include <pal/exception.h>
#include <pal/mutex.h>

#include "os/syscalls.h"

namespace {
constexpr const char* source_file = "mutex";
}

namespace PAL {

CriticalSection::CriticalSection() {
    const int error = os::syscalls().lock_init(native, SPIN_COUNT);
    if (error != 0)
        PAL_RAISE(WindowsError, static_cast<std::uint32_t>(error));
}

CriticalSection::~CriticalSection() {
    os::syscalls().lock_destroy(native);
}

void CriticalSection::enter() {
    os::syscalls().lock_enter(native);
}

void CriticalSection::leave() {
    os::syscalls().lock_leave(native);
}

Mutex::Mutex() : handle(nullptr) {
    const int error = os::syscalls().mutex_create(&handle);
    if (error != 0)
        PAL_RAISE(WindowsError, static_cast<std::uint32_t>(error));
}

Mutex::~Mutex() {
    os::syscalls().mutex_close(handle);
}

} // namespace PAL
