// An output the host writes: standard output, or the file -o names. A
// regular file is written under a temporary name beside it and takes the
// target's name only when the command succeeded, so a failed run never
// destroys an earlier result nor leaves half a file behind. A target that
// is not a regular file (/dev/stdout, a pipe) is written directly.
#pragma once

#include <host/base/file_into_place.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace orvohost {

class OutputFile {
public:
    // "" or "-" is standard output. Raises HostError with the system's
    // reason when the output cannot be opened.
    explicit OutputFile(const std::string& path);
    // Without commit(), a temporary file is removed and the target is left
    // as it was.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::FILE* get() const { return stream; }
    // Raise HostError with the system's reason (a full disk...).
    void write(std::string_view text);
    // Writes `text` and empties it once it has grown past a mebibyte, so that
    // a long listing is never held whole.
    void write_when_full(std::string& text);
    // Hands what is buffered to the system; raises HostError as write does.
    void flush();
    // Where the bytes written so far can be read back before commit(): the
    // temporary file of a regular target; empty for standard output and a
    // target written directly (a pipe, a device).
    std::filesystem::path written_path() const;
    // Flushes and, for a regular file, gives the written file the target's
    // name; raises HostError when anything could not be written.
    void commit();
    // commit() when the command succeeded; otherwise only flush, so that
    // standard output has what was written while a temporary file goes
    // with this object and the target stays as it was.
    void finish(bool succeeded);

private:
    [[noreturn]] void fail(int error) const;

    std::string target;
    std::unique_ptr<FileIntoPlace> placed; // none when written directly
    std::FILE* stream = nullptr;
};

} // namespace orvohost
