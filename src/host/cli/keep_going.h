// --keep-going for the subcommands that write what they read of many
// files: without it the first failure stops the run and the files not yet
// started are left alone; with it every file that reads is written, and
// each failure is named as it comes. mzml and mgf share it, so the flag
// means one thing.
#pragma once

#include "context.h"

#include <atomic>
#include <cstddef>
#include <string>

namespace orvohost::cli {

class KeepGoing {
public:
    // `done` and `does`: what the subcommand does to a file, as the closing
    // note and the flag's help say it ("converted", "converts").
    KeepGoing(std::string done, std::string does)
        : done_word(std::move(done)), does_word(std::move(does)) {}

    void add_flag(CLI::App& command);
    bool enabled() const { return keep_going; }

    // `job`, run unless an earlier failure stopped the run. A failure (an
    // exception, or a result that is not ok) stops it without --keep-going.
    FileJob guard(FileJob job);
    // Whether any file read whole.
    bool any_read() const { return files_read > 0; }
    // After the run: how many files the first failure left alone.
    void report(Context& context) const;

private:
    std::string done_word;
    std::string does_word;
    bool keep_going = false;
    std::atomic<bool> stopped{false};
    std::atomic<std::size_t> skipped{0};
    std::atomic<std::size_t> files_read{0};
};

} // namespace orvohost::cli
