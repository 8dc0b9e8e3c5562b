#include "output_file.h"

#include <host/base/host_error.h>

#include <fmt/format.h>

#include <cerrno>
#include <cstring>

namespace orvohost {

namespace {

bool written_directly(const std::filesystem::path& target) {
    std::error_code error;
    const auto status = std::filesystem::status(target, error);
    return status.type() != std::filesystem::file_type::not_found &&
           status.type() != std::filesystem::file_type::regular;
}

} // namespace

OutputFile::OutputFile(const std::string& path) : target(path) {
    if (target.empty() || target == "-") {
        stream = stdout;
        return;
    }
    int error = 0;
    if (written_directly(target)) {
        stream = std::fopen(target.c_str(), "wb");
        error = errno;
    } else {
        placed = std::make_unique<FileIntoPlace>(target);
        stream = placed->stream();
        error = placed->open_error();
    }
    if (!stream)
        throw HostError(fmt::format("cannot write {}: {}", target, std::strerror(error)));
}

OutputFile::~OutputFile() {
    // A file written into place is closed and removed by its own destructor.
    if (stream && stream != stdout && !placed)
        std::fclose(stream);
}

void OutputFile::fail(int error) const {
    const std::string where = stream == stdout ? "standard output" : target;
    throw HostError(fmt::format("cannot write {}: {}", where,
                                error ? std::strerror(error) : "the write failed"));
}

void OutputFile::write(std::string_view text) {
    if (text.empty())
        return;
    // A buffered stream may take the text whole and fail as it flushes: the
    // stream's error flag says so, and errno still holds the reason.
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() || std::ferror(stream))
        fail(errno);
}

void OutputFile::write_when_full(std::string& text) {
    if (text.size() > (1u << 20)) {
        write(text);
        text.clear();
    }
}

void OutputFile::flush() {
    errno = 0;
    if (std::fflush(stream) != 0 || std::ferror(stream))
        fail(errno);
}

std::filesystem::path OutputFile::written_path() const {
    return placed ? placed->temporary() : std::filesystem::path();
}

void OutputFile::commit() {
    flush();
    if (stream == stdout)
        return;
    if (!placed) {
        errno = 0;
        const int closed = std::fclose(stream);
        stream = nullptr;
        if (closed != 0)
            fail(errno);
        return;
    }
    const bool closed = placed->close();
    stream = nullptr;
    if (!closed)
        fail(errno);
    if (const std::error_code error = placed->place())
        throw HostError(fmt::format("cannot write {}: {}", target, error.message()));
}

void OutputFile::finish(bool succeeded) {
    if (succeeded)
        commit();
    else
        flush();
}

} // namespace orvohost
