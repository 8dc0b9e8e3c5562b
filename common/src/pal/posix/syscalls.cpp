// POSIX backend of the OS seam.
#include "os/syscalls.h"

#include "posix/catalog_file.h"

#include <pal/msgcatalog.h>
#include <pal/mutex.h>
#include <pal/string.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <locale>
#include <new>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PAL::os {
namespace {

// CriticalSection's lock. Every use-count record, notice and progress step
// takes one, nearly always free: an entry that finds it free costs one
// atomic exchange and a leave one more, where the C library's recursive
// mutex takes some eighty instructions a pair. A thread that finds it
// taken spins `spins` times, as a Windows critical section does, then
// sleeps on it until the holder, which sees the mark of a sleeper when it
// leaves, wakes one.
class RecursiveLock {
public:
    explicit RecursiveLock(unsigned int spin_count) : spins(spin_count) {}

    void enter() {
        const pthread_t self = pthread_self();
        // Only this thread writes its own name here: when it reads it, it
        // holds the lock.
        if (owner.load(std::memory_order_relaxed) == self) {
            ++depth;
            return;
        }
        std::uint32_t free_state = FREE;
        if (!state.compare_exchange_strong(free_state, TAKEN, std::memory_order_acquire,
                                           std::memory_order_relaxed))
            wait();
        owner.store(self, std::memory_order_relaxed);
        depth = 1;
    }

    void leave() {
        if (--depth != 0)
            return;
        owner.store(pthread_t{}, std::memory_order_relaxed);
        if (state.exchange(FREE, std::memory_order_release) == SLEPT_ON)
            state.notify_one();
    }

private:
    static constexpr std::uint32_t FREE = 0;
    static constexpr std::uint32_t TAKEN = 1;
    static constexpr std::uint32_t SLEPT_ON = 2; // taken, and a thread may sleep on it

    void wait() {
        for (unsigned int i = 0; i < spins; ++i) {
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
            std::uint32_t free_state = FREE;
            if (state.load(std::memory_order_relaxed) == FREE &&
                state.compare_exchange_weak(free_state, TAKEN, std::memory_order_acquire,
                                            std::memory_order_relaxed))
                return;
        }
        // Taken as slept on, so that its leave wakes the next sleeper.
        while (state.exchange(SLEPT_ON, std::memory_order_acquire) != FREE)
            state.wait(SLEPT_ON, std::memory_order_relaxed);
    }

    std::atomic<std::uint32_t> state{FREE};
    std::atomic<pthread_t> owner{};
    std::uint32_t depth = 0; // entries of the owner not yet left
    unsigned int spins;
};

static_assert(sizeof(RecursiveLock) <= CriticalSection::NATIVE_SIZE && alignof(RecursiveLock) <= 16,
              "CriticalSection storage too small for the native lock");

int lock_init(void* native, unsigned int spin_count) {
    ::new (native) RecursiveLock(spin_count);
    return 0;
}
void lock_destroy(void* native) {
    static_cast<RecursiveLock*>(native)->~RecursiveLock();
}
void lock_enter(void* native) {
    static_cast<RecursiveLock*>(native)->enter();
}
void lock_leave(void* native) {
    static_cast<RecursiveLock*>(native)->leave();
}

int mutex_create(void** handle) {
    auto* m = new (std::nothrow) pthread_mutex_t;
    if (!m)
        return ENOMEM;
    const int rc = pthread_mutex_init(m, nullptr);
    if (rc != 0) {
        delete m;
        return rc;
    }
    *handle = m;
    return 0;
}
void mutex_close(void* handle) {
    auto* m = static_cast<pthread_mutex_t*>(handle);
    pthread_mutex_destroy(m);
    delete m;
}

bool error_text(std::uint32_t code, std::wstring& text) {
    if (code > 0x7FFFFFFF)
        return false;
    char buffer[512];
#if defined(__GLIBC__)
    // glibc invents "Unknown error N" for numbers it does not know; the seam
    // reports those as having no text, as the Windows message table does.
    if (strerrorname_np(static_cast<int>(code)) == nullptr)
        return false;
    const char* message = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
#else
    // The XSI form fails for a number the C library does not know.
    if (strerror_r(static_cast<int>(code), buffer, sizeof buffer) != 0)
        return false;
    const char* message = buffer;
#endif
    // The text is translated for the process's C locale and written in its
    // character set, so it is widened by that same locale; a byte it cannot
    // read stands for the character of its value.
    text.clear();
    std::mbstate_t state{};
    for (std::size_t left = std::strlen(message); left > 0;) {
        wchar_t c = 0;
        std::size_t used = std::mbrtowc(&c, message, left, &state);
        if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2)) {
            c = static_cast<wchar_t>(static_cast<unsigned char>(*message));
            used = 1;
            state = std::mbstate_t{};
        }
        text.push_back(c);
        message += used;
        left -= used;
    }
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\n' || text.back() == L'\r' ||
                             text.back() == L'\t'))
        text.pop_back();
    return true;
}

struct LanguageId {
    const char* name;
    std::uint16_t id;
};

// Windows language ids of the common locales; a language alone maps to its
// primary country.
constexpr LanguageId LANGUAGES[] = {
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en_NZ", 0x1409},
    {"en_IE", 0x1809}, {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C},
    {"de_DE", 0x0407}, {"de_CH", 0x0807}, {"de_AT", 0x0C07}, {"es_ES", 0x0C0A}, {"es_MX", 0x080A},
    {"it_IT", 0x0410}, {"nl_NL", 0x0413}, {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"sv_SE", 0x041D},
    {"da_DK", 0x0406}, {"fi_FI", 0x040B}, {"nb_NO", 0x0414}, {"pl_PL", 0x0415}, {"cs_CZ", 0x0405},
    {"hu_HU", 0x040E}, {"ru_RU", 0x0419}, {"ja_JP", 0x0411}, {"ko_KR", 0x0412}, {"zh_CN", 0x0804},
    {"zh_TW", 0x0404}, {"tr_TR", 0x041F}, {"el_GR", 0x0408}, {"he_IL", 0x040D}, {"ar_SA", 0x0401},
    {"uk_UA", 0x0422},
};

std::uint16_t user_language() {
    const char* value = nullptr;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        value = std::getenv(name);
        if (value && *value)
            break;
        value = nullptr;
    }
    if (!value)
        return 0x0409;
    // "ll_CC.charset@modifier": keep "ll_CC" (or "ll").
    std::string tag(value);
    tag = tag.substr(0, tag.find_first_of(".@"));
    for (const auto& l : LANGUAGES)
        if (tag == l.name)
            return l.id;
    const std::string language = tag.substr(0, tag.find('_'));
    for (const auto& l : LANGUAGES)
        if (language == std::string(l.name, 2))
            return l.id;
    return 0x0409;
}

// Paths reach the OS in the user's code page, as the data source checks
// before it opens a file. A NUL cannot stand in a path the OS is given: the
// OS would open the file named by the part before it. 0 or an error number.
int narrow_path(const std::wstring& path, std::string& narrow) {
    try {
        narrow = to_narrow(path, user_default_locale());
    } catch (const StrCodeCvtError&) {
        return EILSEQ;
    }
    return narrow.find('\0') == std::string::npos ? 0 : EINVAL;
}

// Opens a regular file for reading, or fails with an error number. Anything
// else is refused as Windows refuses a folder: a FIFO would block the open
// until a writer comes (so it is opened without waiting and refused), and a
// device or socket has no size or positions to read by.
int open_regular_file(const std::wstring& path, int& error) {
    std::string narrow;
    if ((error = narrow_path(path, narrow)) != 0)
        return -1;
    const int fd = ::open(narrow.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    struct stat st;
    const bool stated = ::fstat(fd, &st) == 0;
    if (!stated || !S_ISREG(st.st_mode)) {
        error = !stated ? errno : S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
        ::close(fd);
        return -1;
    }
    // Reads of a regular file ignore the flag; it is cleared all the same.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

bool read_catalog_file(const std::wstring& path, std::string& bytes) {
    int error = 0;
    const int fd = open_regular_file(path, error);
    if (fd < 0)
        return false;
    // Closed on every way out, a failed allocation included.
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    bytes.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

// A catalog is a text file (the format in pal/msgcatalog.h), parsed whole
// when opened; a missing or unreadable file is no catalog.
void* catalog_open(const std::wstring& path) {
    std::string bytes;
    if (!read_catalog_file(path, bytes))
        return nullptr;
    return new CatalogModule(bytes);
}
bool catalog_find(void* module, std::uint32_t id, std::wstring& text) {
    return static_cast<const CatalogModule*>(module)->find(id, text);
}
void catalog_close(void* module) {
    delete static_cast<CatalogModule*>(module);
}

std::locale user_locale() {
    try {
        return std::locale("");
    } catch (const std::runtime_error&) {
        // The environment names a locale this machine does not have.
        return std::locale::classic();
    }
}

std::intptr_t file_open(const std::wstring& path, std::uint32_t& error) {
    int failure = 0;
    const int fd = open_regular_file(path, failure);
    if (fd < 0)
        error = static_cast<std::uint32_t>(failure);
    return fd;
}

void file_close(std::intptr_t handle) {
    ::close(static_cast<int>(handle));
}

std::int64_t file_seek(std::intptr_t handle, std::int64_t distance, int whence,
                       std::uint32_t& error) {
    const int how = whence == 0 ? SEEK_SET : whence == 1 ? SEEK_CUR : SEEK_END;
    const off_t at = ::lseek(static_cast<int>(handle), static_cast<off_t>(distance), how);
    if (at < 0) {
        error = static_cast<std::uint32_t>(errno);
        return -1;
    }
    return at;
}

std::int64_t file_size(std::intptr_t handle, std::uint32_t& error) {
    struct stat st;
    if (::fstat(static_cast<int>(handle), &st) != 0) {
        error = static_cast<std::uint32_t>(errno);
        return -1;
    }
    return st.st_size;
}

std::int64_t file_read(std::intptr_t handle, void* buffer, std::uint32_t count,
                       std::uint32_t& error) {
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(handle), buffer, count);
        if (n >= 0)
            return n;
        if (errno != EINTR) {
            error = static_cast<std::uint32_t>(errno);
            return -1;
        }
    }
}

std::int64_t file_read_at(std::intptr_t handle, std::int64_t offset, void* buffer,
                          std::uint32_t count, std::uint32_t& error) {
    const ssize_t n = ::pread(static_cast<int>(handle), buffer, count, static_cast<off_t>(offset));
    if (n < 0)
        error = static_cast<std::uint32_t>(errno);
    return n;
}

void advise_large_pages(void* data, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    // Only whole large pages inside the range are advised: the advice
    // covers pages, and those at its edges may belong to other data.
    constexpr std::uintptr_t LARGE = PAL::LARGE_PAGE_BYTES;
    const auto first = (reinterpret_cast<std::uintptr_t>(data) + LARGE - 1) & ~(LARGE - 1);
    const auto last = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(LARGE - 1);
    if (data != nullptr && last > first)
        static_cast<void>(::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE));
#else
    static_cast<void>(data), static_cast<void>(bytes);
#endif
}

void populate_pages(void* data, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    // The pages that hold the range, each faulted in as a write would; a
    // kernel without the request refuses it, and the writes fault them.
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto first = reinterpret_cast<std::uintptr_t>(data) & ~(page - 1);
    const auto last = (reinterpret_cast<std::uintptr_t>(data) + bytes + page - 1) & ~(page - 1);
    if (data != nullptr && bytes > 0 && page > 0)
        static_cast<void>(
            ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE));
#else
    static_cast<void>(data), static_cast<void>(bytes);
#endif
}

constexpr Syscalls POSIX_SYSCALLS = {
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
    .catalog_extension = L".msg",
    .user_locale = user_locale,
    .narrow = facet_narrow,
    .widen = facet_widen,
    .file_open = file_open,
    .file_close = file_close,
    .file_seek = file_seek,
    .file_size = file_size,
    .file_read = file_read,
    .file_read_at = file_read_at,
    .read_interrupted = EINTR,
    .advise_large_pages = advise_large_pages,
    .populate_pages = populate_pages,
};

// Constant-initialised, so locks built during static initialisation of any
// module already find it.
constinit Syscalls current = POSIX_SYSCALLS;

} // namespace

Syscalls& syscalls() {
    return current;
}
const Syscalls& native_syscalls() {
    return POSIX_SYSCALLS;
}

} // namespace PAL::os
