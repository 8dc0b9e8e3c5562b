// Win32 backend of the OS seam.
#include "os/syscalls.h"

#include <pal/exception.h>
#include <pal/mutex.h>
#include <pal/string.h>

#include <windows.h>

#include <locale>
#include <string>

namespace PAL::os {
namespace {

constexpr const char* source_file = "string";

static_assert(sizeof(CRITICAL_SECTION) <= CriticalSection::NATIVE_SIZE,
              "CriticalSection storage too small for the native lock");

int lock_init(void* native, unsigned int spin_count) {
    if (!::InitializeCriticalSectionAndSpinCount(static_cast<CRITICAL_SECTION*>(native),
                                                 spin_count))
        return static_cast<int>(::GetLastError());
    return 0;
}
void lock_destroy(void* native) {
    ::DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(native));
}
void lock_enter(void* native) {
    ::EnterCriticalSection(static_cast<CRITICAL_SECTION*>(native));
}
void lock_leave(void* native) {
    ::LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(native));
}

int mutex_create(void** handle) {
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, nullptr);
    if (!mutex)
        return static_cast<int>(::GetLastError());
    *handle = mutex;
    return 0;
}
void mutex_close(void* handle) {
    ::CloseHandle(handle);
}

// FormatMessageW into a buffer the system allocates, freed on every way out
// (a failed copy included). Inserts stay as written; language 0 is the
// system's own search order.
bool format_message(DWORD source_flag, const void* source, std::uint32_t id, std::wstring& text) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | source_flag, source, id, 0,
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0)
        return false;
    struct Freer {
        wchar_t* buffer;
        ~Freer() { ::LocalFree(buffer); }
    } freer{buffer};
    text.assign(buffer, length);
    return true;
}

bool error_text(std::uint32_t code, std::wstring& text) {
    if (!format_message(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, text))
        return false;
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\n' || text.back() == L'\r' ||
                             text.back() == L'\t'))
        text.pop_back();
    return true;
}

std::uint16_t user_language() {
    return ::GetUserDefaultLangID();
}

// A catalog is a message-table library, mapped as data: none of its code
// runs, and the module handle is the seam's opaque module.
void* catalog_open(const std::wstring& path) {
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
}
bool catalog_find(void* module, std::uint32_t id, std::wstring& text) {
    return format_message(FORMAT_MESSAGE_FROM_HMODULE, module, id, text);
}
void catalog_close(void* module) {
    ::FreeLibrary(static_cast<HMODULE>(module));
}

// Marks the locale that stands for the user's code page. mingw's C++ library
// knows only the "C" locale, so the user's locale is the classic one with
// this mark, and conversions through it use the system's ANSI code page.
struct UserCodePage : std::locale::facet {
    static std::locale::id id;
};
std::locale::id UserCodePage::id;

std::locale user_locale() {
    return std::locale(std::locale::classic(), new UserCodePage);
}

[[noreturn]] void fail(CodeCvtErrorCode code, std::size_t offset, unsigned int line) {
    raise<StrCodeCvtError>(source_file, line, code, static_cast<std::uint32_t>(offset));
}

// Appends the bytes of `count` wide units; false when one has no mapping.
// Best-fit replacements count as no mapping: a path must name its own file.
bool narrow_units(UINT page, const wchar_t* from, int count, std::string& out) {
    const bool utf8 = page == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL defaulted = FALSE;
    BOOL* defaulted_at = utf8 ? nullptr : &defaulted;
    const int size =
        ::WideCharToMultiByte(page, flags, from, count, nullptr, 0, nullptr, defaulted_at);
    if (size <= 0 || defaulted)
        return false;
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(size));
    ::WideCharToMultiByte(page, flags, from, count, out.data() + at, size, nullptr, nullptr);
    return true;
}

// Appends the wide units of `count` bytes; false when they are not a whole,
// valid text of the code page.
bool widen_bytes(UINT page, const char* from, int count, std::wstring& out) {
    const int size = ::MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, from, count, nullptr, 0);
    if (size <= 0)
        return false;
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(size));
    ::MultiByteToWideChar(page, 0, from, count, out.data() + at, size);
    return true;
}

// Bytes of the character that starts with `lead` in the code page.
int character_bytes(UINT page, unsigned char lead) {
    if (page == CP_UTF8)
        return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    return ::IsDBCSLeadByteEx(page, lead) ? 2 : 1;
}

// The whole text in one call; only when that fails is it walked character by
// character, to keep what converts and name where the failure is.
void narrow(const std::wstring& text, const std::locale& locale, std::string& out) {
    if (!std::has_facet<UserCodePage>(locale))
        return facet_narrow(text, locale, out);
    out.clear();
    if (text.empty() || text.size() > 0x7FFFFFFF)
        return;
    const UINT page = ::GetACP();
    if (narrow_units(page, text.data(), static_cast<int>(text.size()), out))
        return;
    out.clear();
    for (std::size_t i = 0; i < text.size();) {
        const bool pair =
            i + 1 < text.size() && IS_HIGH_SURROGATE(text[i]) && IS_LOW_SURROGATE(text[i + 1]);
        const int units = pair ? 2 : 1;
        if (!narrow_units(page, text.data() + i, units, out))
            fail(CODECVT_NO_MAPPING, i, __LINE__);
        i += static_cast<std::size_t>(units);
    }
}

void widen(const std::string& text, const std::locale& locale, std::wstring& out) {
    if (!std::has_facet<UserCodePage>(locale))
        return facet_widen(text, locale, out);
    out.clear();
    if (text.empty() || text.size() > 0x7FFFFFFF)
        return;
    const UINT page = ::GetACP();
    if (widen_bytes(page, text.data(), static_cast<int>(text.size()), out))
        return;
    out.clear();
    for (std::size_t i = 0; i < text.size();) {
        const auto bytes =
            static_cast<std::size_t>(character_bytes(page, static_cast<unsigned char>(text[i])));
        if (i + bytes > text.size())
            fail(CODECVT_INPUT_EXHAUSTED, i, __LINE__);
        if (!widen_bytes(page, text.data() + i, static_cast<int>(bytes), out))
            fail(CODECVT_NO_MAPPING, i, __LINE__);
        i += bytes;
    }
}

HANDLE native(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Read-only, shared for reading. A NUL cannot stand in a path: the system
// would open the file named by the part before it. What is not a disk file
// (a pipe, a console) has no size or positions to read by.
std::intptr_t file_open(const std::wstring& path, std::uint32_t& error) {
    if (path.find(L'\0') != std::wstring::npos) {
        error = ERROR_INVALID_NAME;
        return -1;
    }
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return -1;
    }
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        error = ERROR_BAD_FILE_TYPE;
        return -1;
    }
    return reinterpret_cast<std::intptr_t>(file);
}

void file_close(std::intptr_t handle) {
    ::CloseHandle(native(handle));
}

std::int64_t file_seek(std::intptr_t handle, std::int64_t distance, int whence,
                       std::uint32_t& error) {
    const DWORD how = whence == 0 ? FILE_BEGIN : whence == 1 ? FILE_CURRENT : FILE_END;
    LARGE_INTEGER move;
    move.QuadPart = distance;
    LARGE_INTEGER at;
    if (!::SetFilePointerEx(native(handle), move, &at, how)) {
        error = ::GetLastError();
        return -1;
    }
    return at.QuadPart;
}

std::int64_t file_size(std::intptr_t handle, std::uint32_t& error) {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(native(handle), &size)) {
        error = ::GetLastError();
        return -1;
    }
    return size.QuadPart;
}

std::int64_t file_read(std::intptr_t handle, void* buffer, std::uint32_t count,
                       std::uint32_t& error) {
    DWORD got = 0;
    if (!::ReadFile(native(handle), buffer, count, &got, nullptr)) {
        error = ::GetLastError();
        return -1;
    }
    return got;
}

// A positioned read leaves the file position where it was, as the reader's
// sequential reads expect: ReadFile at an offset moves it, so it is saved
// before and put back after.
std::int64_t file_read_at(std::intptr_t handle, std::int64_t offset, void* buffer,
                          std::uint32_t count, std::uint32_t& error) {
    HANDLE file = native(handle);
    LONG high = 0;
    const DWORD low = ::SetFilePointer(file, 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) {
        error = ::GetLastError();
        return -1;
    }
    LARGE_INTEGER saved;
    saved.LowPart = low;
    saved.HighPart = high;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD got = 0;
    std::int64_t result = 0;
    if (::ReadFile(file, buffer, count, &got, &at)) {
        result = got;
    } else if (const DWORD failure = ::GetLastError(); failure != ERROR_HANDLE_EOF) {
        error = failure;
        result = -1;
    }
    ::SetFilePointerEx(file, saved, nullptr, FILE_BEGIN);
    return result;
}

// Windows backs ordinary allocations with small pages only; large pages
// need a privilege a reader does not ask for.
void advise_large_pages(void*, std::size_t) {}

// The writes fault the pages in as they come.
void populate_pages(void*, std::size_t) {}

constexpr Syscalls WIN32_SYSCALLS = {
    .lock_init = lock_init,
    .lock_destroy = lock_destroy,
    .lock_enter = lock_enter,
    .lock_leave = lock_leave,
    .mutex_create = mutex_create,
    .mutex_close = mutex_close,
    .error_text = error_text,
    .user_language = user_language,
    .catalog_open = catalog_open,
    .catalog_find = catalog_find,
    .catalog_close = catalog_close,
    .catalog_extension = L".dll",
    .user_locale = user_locale,
    .narrow = narrow,
    .widen = widen,
    .file_open = file_open,
    .file_close = file_close,
    .file_seek = file_seek,
    .file_size = file_size,
    .file_read = file_read,
    .file_read_at = file_read_at,
    // Windows completes or fails a read; no signal cuts one short.
    .read_interrupted = 0,
    .advise_large_pages = advise_large_pages,
    .populate_pages = populate_pages,
};

// Constant-initialised, so locks built during static initialisation of any
// module already find it.
constinit Syscalls current = WIN32_SYSCALLS;

} // namespace

Syscalls& syscalls() {
    return current;
}
const Syscalls& native_syscalls() {
    return WIN32_SYSCALLS;
}

} // namespace PAL::os
