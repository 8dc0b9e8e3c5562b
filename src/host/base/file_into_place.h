// A file written under a name of its own beside its target and given the
// target's name only once the writer says it is whole, so a failed run
// never leaves half a file behind nor destroys an earlier file of that
// name. Beside the target, the rename stays on one file system.
//
// It reports failures as the system's error numbers and leaves the
// sentences to its users, which name them for what they were writing.
#pragma once

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace orvohost {

class FileIntoPlace {
public:
    // Creates the temporary file; stream() is null when that failed, and
    // open_error() holds the system's reason.
    explicit FileIntoPlace(std::filesystem::path target);
    // Closes the stream and, unless placed, removes the temporary file.
    ~FileIntoPlace();
    FileIntoPlace(const FileIntoPlace&) = delete;
    FileIntoPlace& operator=(const FileIntoPlace&) = delete;

    std::FILE* stream() const { return file; }
    int open_error() const { return error_number; }
    const std::filesystem::path& target() const { return target_path; }
    const std::filesystem::path& temporary() const { return temp_path; }

    // Empties the file, to be written again from its start; false, with
    // errno set, when it cannot be. The stream may change.
    bool start_over();
    // Flushes and closes the stream; false, with errno set, when what was
    // buffered could not be written.
    bool close();
    // Closes the stream when still open and renames the temporary file over
    // the target.
    std::error_code place();

private:
    std::filesystem::path target_path;
    std::filesystem::path temp_path;
    std::FILE* file = nullptr;
    int error_number = 0;
    bool placed = false;
};

} // namespace orvohost
