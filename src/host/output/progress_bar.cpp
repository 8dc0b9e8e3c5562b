#include "progress_bar.h"

#include "progress_line.h"

#include <fmt/format.h>

#include <charconv>
#include <cstdlib>
#include <cstring>

#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#endif

namespace orvohost {

namespace {

// The width of the terminal `stream` writes to, asked at each redraw, since
// a window may be resized while a file is read; else $COLUMNS, else 80.
std::size_t terminal_columns(std::FILE* stream) {
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO console;
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    if (::GetConsoleScreenBufferInfo(handle, &console) != 0 &&
        console.srWindow.Right > console.srWindow.Left)
        return static_cast<std::size_t>(console.srWindow.Right - console.srWindow.Left + 1);
#else
    winsize size{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
#endif
    if (const char* given = std::getenv("COLUMNS")) {
        std::size_t columns = 0;
        const char* end = given + std::strlen(given);
        if (const auto [at, error] = std::from_chars(given, end, columns);
            error == std::errc{} && at == end && columns > 0)
            return columns;
    }
    return 80;
}

std::string duration_text(double seconds) {
    const auto whole = static_cast<std::uint64_t>(seconds + 0.5);
    if (whole >= 3600)
        return fmt::format("{}:{:02}:{:02}", whole / 3600, whole / 60 % 60, whole % 60);
    return fmt::format("{}:{:02}", whole / 60, whole % 60);
}
} // namespace

std::string progress_rate_text(std::uint16_t percentage, double seconds, std::uint64_t bytes) {
    if (percentage < 1 || percentage > 100 || seconds < 1)
        return "";
    const double done = percentage / 100.0;
    std::string text;
    if (bytes > 0)
        text = fmt::format("{:.1f} MB/s", done * static_cast<double>(bytes) / 1e6 / seconds);
    if (percentage < 100)
        text += fmt::format("{}{} left", text.empty() ? "" : ", ",
                            duration_text(seconds * (1 - done) / done));
    return text;
}

ProgressBar::ProgressBar(std::FILE* out, bool enabled)
    : stream(out), drawing(enabled && ::isatty(::fileno(out)) == 1) {}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::update(const std::string& label, std::uint16_t percentage, std::uint64_t bytes) {
    if (!drawing)
        return;
    std::scoped_lock guard(lock);
    const auto now = std::chrono::steady_clock::now();
    if (!started || (percentage < last && last <= 100)) {
        start = now;
        started = true;
    }
    // The rate and time left change while the percentage stands still.
    if (percentage == last && shown && now - drawn < std::chrono::seconds(1))
        return;
    last = percentage;
    drawn = now;
    const std::string rate =
        progress_rate_text(percentage, std::chrono::duration<double>(now - start).count(), bytes);
    // \r returns to the line's start and \x1b[K clears what a longer line
    // left; the line fits the terminal, so it is one row and the next
    // redraw and the clearing at the end cover all of it.
    fmt::print(stream, "\r{}\x1b[K",
               progress_line(percentage, rate, label, terminal_columns(stream)));
    std::fflush(stream);
    shown = true;
}

void ProgressBar::clear() {
    if (shown) {
        fmt::print(stream, "\r\x1b[K");
        std::fflush(stream);
    }
    shown = false;
}

void ProgressBar::finish() {
    if (!drawing)
        return;
    std::scoped_lock guard(lock);
    clear();
    last = 0xFFFE;
    started = false;
}

void ProgressBar::interrupt() {
    if (!drawing)
        return;
    // The clock goes on: the same work continues after the line.
    std::scoped_lock guard(lock);
    clear();
}

} // namespace orvohost
