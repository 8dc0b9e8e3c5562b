// A progress bar on a terminal, redrawn in place and fed by the root
// progress node's events, with the rate and the time left once they can be
// told. Drawn only when the stream is a terminal, so pipes and log files
// never see it.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace orvohost {

// What follows the percentage: the rate in MB/s when the amount of work in
// bytes is known, and the time left, once a second has passed and a
// percent is done; empty before.
std::string progress_rate_text(std::uint16_t percentage, double seconds, std::uint64_t bytes);

class ProgressBar {
public:
    // Draws on `stream` when `enabled` and the stream is a terminal.
    ProgressBar(std::FILE* stream, bool enabled);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    bool active() const { return drawing; }

    // `percentage` 0 to 100, or 0xFFFF when the amount of work is not known;
    // `bytes` the size of the whole work, 0 when not known. The clock starts
    // with a new bar and again when the percentage falls (the next file).
    void update(const std::string& label, std::uint16_t percentage, std::uint64_t bytes = 0);
    // Removes the bar, leaving the line empty for what follows.
    void finish();
    // Clears the bar while a line of text is written, then lets the next
    // update draw it again.
    void interrupt();

private:
    void clear();

    std::FILE* stream;
    bool drawing;
    bool shown = false;
    bool started = false;
    std::uint16_t last = 0xFFFE;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point drawn;
    std::mutex lock;
};

} // namespace orvohost
