#include "output_file.h"

#include "plugin.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace orvohost {

namespace {

// A name beside `target` that no other run picks: the process and a
// random number.
std::filesystem::path temporary_beside(const std::filesystem::path& target) {
    static std::mt19937_64 numbers{std::random_device{}()};
    const auto name = fmt::format(".{}.{:016x}.part", target.filename().string(), numbers());
    return target.parent_path() / name;
}

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
    if (written_directly(target)) {
        stream = std::fopen(target.c_str(), "wb");
    } else {
        temporary = temporary_beside(target);
        stream = std::fopen(temporary.string().c_str(), "wb");
    }
    if (!stream)
        throw HostError(fmt::format("cannot write {}: {}", target, std::strerror(errno)));
}

OutputFile::~OutputFile() {
    if (stream && stream != stdout)
        std::fclose(stream);
    if (!temporary.empty()) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
    }
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

void OutputFile::commit() {
    flush();
    if (stream == stdout)
        return;
    errno = 0;
    const int closed = std::fclose(stream);
    stream = nullptr;
    if (closed != 0)
        fail(errno);
    if (temporary.empty())
        return;
    std::error_code error;
    std::filesystem::rename(temporary, target, error);
    if (error)
        throw HostError(fmt::format("cannot write {}: {}", target, error.message()));
    temporary.clear();
}

} // namespace orvohost
