#include "progress_bar.h"

#include <fmt/format.h>

#include <unistd.h>

namespace orvohost {

namespace {
constexpr int WIDTH = 30;

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
    std::string bar;
    if (percentage > 100) {
        bar = fmt::format("[{:^{}}]   ?%", "working", WIDTH);
    } else {
        const int filled = percentage * WIDTH / 100;
        bar = fmt::format("[{}{}] {:3}%", std::string(static_cast<std::size_t>(filled), '#'),
                          std::string(static_cast<std::size_t>(WIDTH - filled), ' '), percentage);
        const std::string rate = progress_rate_text(
            percentage, std::chrono::duration<double>(now - start).count(), bytes);
        if (!rate.empty())
            bar += " " + rate;
    }
    // \r returns to the line's start and \x1b[K clears what a longer label left.
    fmt::print(stream, "\r{} {}\x1b[K", bar, label);
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
