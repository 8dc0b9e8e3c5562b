// The seam between the platform layer and the operating system.
//
// Every OS call of the platform layer goes through this table, one group per
// concern (lock, mutex, error text, language, catalog library, code
// conversion, file). The POSIX backend (posix/) and the Win32 backend
// (win32/) fill it with the same shape, so no caller knows which one runs.
// Tests swap single entries for failing versions (and put the saved table
// back) to prove how failures surface.
#pragma once

#include <pal/api.h>

#include <cstddef>
#include <cstdint>
#include <locale>
#include <string>

namespace PAL::os {

struct Syscalls {
    // Lock: a recursive lock in caller-provided storage of
    // CriticalSection::NATIVE_SIZE bytes. init returns 0 or an OS error number.
    int (*lock_init)(void* native, unsigned int spin_count);
    void (*lock_destroy)(void* native);
    void (*lock_enter)(void* native);
    void (*lock_leave)(void* native);

    // Mutex: an unnamed mutex object. create returns 0 or an OS error number.
    int (*mutex_create)(void** handle);
    void (*mutex_close)(void* handle);

    // The OS text for an error number, trailing white space removed; false
    // when the OS has none.
    bool (*error_text)(std::uint32_t code, std::wstring& text);

    // The user's language as a Windows language id (0x0409, 0x0809...).
    std::uint16_t (*user_language)();

    // Catalog library: open maps the library at `path` for its texts alone
    // and returns an opaque module, or null when there is none to read; find
    // gives one identifier's text as the library stores it (false when it has
    // none); close releases what open made. The file name ends in
    // catalog_extension.
    void* (*catalog_open)(const std::wstring& path);
    bool (*catalog_find)(void* module, std::uint32_t id, std::wstring& text);
    void (*catalog_close)(void* module);
    const wchar_t* catalog_extension;

    // The user's default locale; the classic locale when the environment
    // names one the machine does not have.
    std::locale (*user_locale)();
    // Code conversion between wide text and the code page `locale` stands
    // for, as PAL::to_narrow and PAL::to_wide describe it; failures raise
    // StrCodeCvtError. Called under the process-wide conversion lock.
    void (*narrow)(const std::wstring& text, const std::locale& locale, std::string& out);
    void (*widen)(const std::string& text, const std::locale& locale, std::wstring& out);

    // File: open returns a handle or -1 with `error` set.
    std::intptr_t (*file_open)(const std::wstring& path, std::uint32_t& error);
    void (*file_close)(std::intptr_t handle);
    // whence: 0 begin, 1 current, 2 end. Returns the new position or -1.
    std::int64_t (*file_seek)(std::intptr_t handle, std::int64_t distance, int whence,
                              std::uint32_t& error);
    std::int64_t (*file_size)(std::intptr_t handle, std::uint32_t& error);
    // Returns bytes read (0 at the end) or -1 with `error` set.
    std::int64_t (*file_read)(std::intptr_t handle, void* buffer, std::uint32_t count,
                              std::uint32_t& error);
    // One positioned read, as the OS gives it: fewer bytes than asked are no
    // end (PAL::File::read_at asks again for the rest), 0 is the end, -1 a
    // failure with `error` set. Leaves the file position where it was.
    std::int64_t (*file_read_at)(std::intptr_t handle, std::int64_t offset, void* buffer,
                                 std::uint32_t count, std::uint32_t& error);
    // The error of a read a signal interrupted before it read anything,
    // which is asked again; 0 where reads are never interrupted so.
    std::uint32_t read_interrupted;

    // A hint that memory about to be written whole may come in large
    // pages; never fails, and may do nothing.
    void (*advise_large_pages)(void* data, std::size_t bytes);
    // Asks for the pages of memory about to be written, as the writes
    // would; never fails, and may do nothing.
    void (*populate_pages)(void* data, std::size_t bytes);
};

// The table in force. Swapping entries is for tests, while no other thread
// uses the platform layer.
PAL_API Syscalls& syscalls();

// The backend's own table, to restore after a test.
PAL_API const Syscalls& native_syscalls();

// Conversion through the locale's own codecvt facet, shared by the backends:
// POSIX converts every locale so, Win32 those that do not stand for the
// user's code page.
void facet_narrow(const std::wstring& text, const std::locale& locale, std::string& out);
void facet_widen(const std::string& text, const std::locale& locale, std::wstring& out);

} // namespace PAL::os
