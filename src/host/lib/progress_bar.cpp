#include "progress_bar.h"

#include <fmt/format.h>

#include <unistd.h>

namespace orvohost {

namespace {
constexpr int WIDTH = 30;
}

ProgressBar::ProgressBar(std::FILE* out, bool enabled)
    : stream(out), drawing(enabled && ::isatty(::fileno(out)) == 1) {}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::update(const std::string& label, std::uint16_t percentage) {
    if (!drawing)
        return;
    std::scoped_lock guard(lock);
    if (percentage == last && shown)
        return;
    last = percentage;
    std::string bar;
    if (percentage > 100) {
        bar = fmt::format("[{:^{}}]   ?%", "working", WIDTH);
    } else {
        const int filled = percentage * WIDTH / 100;
        bar = fmt::format("[{}{}] {:3}%", std::string(static_cast<std::size_t>(filled), '#'),
                          std::string(static_cast<std::size_t>(WIDTH - filled), ' '), percentage);
    }
    // \r returns to the line's start and \x1b[K clears what a longer label left.
    fmt::print(stream, "\r{} {}\x1b[K", bar, label);
    std::fflush(stream);
    shown = true;
}

void ProgressBar::finish() {
    if (!drawing)
        return;
    std::scoped_lock guard(lock);
    if (shown) {
        fmt::print(stream, "\r\x1b[K");
        std::fflush(stream);
    }
    shown = false;
    last = 0xFFFE;
}

void ProgressBar::interrupt() {
    finish();
}

} // namespace orvohost
