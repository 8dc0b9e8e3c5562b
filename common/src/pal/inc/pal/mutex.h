// Locks of the platform layer.
//
// CriticalSection is the recursive lock every shared object of the system
// holds by value (use-count records, the event socket, progress nodes, the
// message catalog, the code-conversion lock). Mutex is the unnamed OS mutex a
// data source carries for its host; the plug-in only creates and closes it.
// Creation failures raise PAL::WindowsError with the OS error number.
#pragma once

#include <pal/api.h>

#include <cstddef>

namespace PAL {

class PAL_API CriticalSection {
public:
    // Spin count of every lock in the system: short contention spins first.
    static constexpr unsigned int SPIN_COUNT = 4000;

    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    // The owning thread may enter again; every enter needs its leave.
    void enter();
    void leave();

    // Room for the native lock object, held by value (no OS header here).
    static constexpr std::size_t NATIVE_SIZE = 64;

private:
    alignas(16) unsigned char native[NATIVE_SIZE];
};

class PAL_API ScopedLock {
public:
    explicit ScopedLock(CriticalSection& held) : section(&held) { held.enter(); }
    ~ScopedLock() { section->leave(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CriticalSection* section;
};

class PAL_API Mutex {
public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    // Opaque OS handle, for the host's own use.
    void* native_handle() const { return handle; }

private:
    void* handle;
};

} // namespace PAL
