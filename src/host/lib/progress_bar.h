// A progress bar on a terminal, redrawn in place and fed by the root
// progress node's events. Drawn only when the stream is a terminal, so
// pipes and log files never see it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace orvohost {

class ProgressBar {
public:
    // Draws on `stream` when `enabled` and the stream is a terminal.
    ProgressBar(std::FILE* stream, bool enabled);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    bool active() const { return drawing; }

    // `percentage` 0 to 100, or 0xFFFF when the amount of work is not known.
    void update(const std::string& label, std::uint16_t percentage);
    // Removes the bar, leaving the line empty for what follows.
    void finish();
    // Clears the bar while a line of text is written, then lets the next
    // update draw it again.
    void interrupt();

private:
    std::FILE* stream;
    bool drawing;
    bool shown = false;
    std::uint16_t last = 0xFFFE;
    std::mutex lock;
};

} // namespace orvohost
