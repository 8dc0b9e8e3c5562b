// Temporary files the process must not leave behind, however it ends: each
// is removed by its owner, and whatever is left when the process exits or is
// stopped by SIGINT or SIGTERM is removed then.
#pragma once

#include <filesystem>

namespace orvohost {

// Tracks `path` until forget_temporary(path). False when the path is too
// long or too many files are tracked at once for the signal handler's
// table: the file is then removed by its owner alone.
bool track_temporary(const std::filesystem::path& path);
void forget_temporary(const std::filesystem::path& path);

// Installs, once, the handlers of SIGINT and SIGTERM that remove every
// tracked file and then end the process as the signal would have. A program
// calls it at its start; a module loaded into another program does not,
// since the handlers are the program's own.
void remove_temporaries_on_signals();

} // namespace orvohost
