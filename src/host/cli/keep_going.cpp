#include "keep_going.h"

#include <fmt/format.h>

namespace orvohost::cli {

void KeepGoing::add_flag(CLI::App& command) {
    command.add_flag("--keep-going", keep_going,
                     fmt::format("with several files, {} every one that reads and names each "
                                 "that failed (status 1); without it the first failure stops "
                                 "the run",
                                 does_word));
}

FileJob KeepGoing::guard(FileJob job) {
    return [this, job = std::move(job)](const std::filesystem::path& file, FileResult& result) {
        if (stopped) {
            ++skipped;
            result.ok = false;
            return;
        }
        try {
            job(file, result);
        } catch (...) {
            if (!keep_going)
                stopped = true;
            throw;
        }
        if (!result.ok && !keep_going)
            stopped = true;
        if (result.ok)
            ++files_read;
    };
}

void KeepGoing::report(Context& context) const {
    if (skipped > 0)
        context.note(fmt::format("{} file{} not {} after the first failure (--keep-going {} every "
                                 "file that reads)",
                                 skipped.load(), skipped == 1 ? "" : "s", done_word, does_word));
}

} // namespace orvohost::cli
