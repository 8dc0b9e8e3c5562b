#include "file_into_place.h"

#include "temporary_files.h"

#include <fmt/format.h>

#include <cerrno>
#include <random>

namespace orvohost {

namespace {

// A hidden name in the target's folder that no other run picks: the
// target's name and a random number.
std::filesystem::path temporary_beside(const std::filesystem::path& target) {
    static thread_local std::mt19937_64 numbers{std::random_device{}()};
    const auto name = fmt::format(".{}.{:016x}.part", target.filename().string(), numbers());
    return target.parent_path() / name;
}

} // namespace

FileIntoPlace::FileIntoPlace(std::filesystem::path target) : target_path(std::move(target)) {
    temp_path = temporary_beside(target_path);
    // Tracked before it exists: a signal that comes as it is created still
    // finds it.
    track_temporary(temp_path);
    errno = 0;
    file = std::fopen(temp_path.string().c_str(), "wb");
    if (!file) {
        error_number = errno;
        forget_temporary(temp_path);
        temp_path.clear();
    }
}

FileIntoPlace::~FileIntoPlace() {
    if (file)
        std::fclose(file);
    if (!placed && !temp_path.empty()) {
        std::error_code ignored;
        std::filesystem::remove(temp_path, ignored);
    }
    if (!temp_path.empty())
        forget_temporary(temp_path);
}

bool FileIntoPlace::start_over() {
    errno = 0;
    file = std::freopen(temp_path.string().c_str(), "wb", file);
    return file != nullptr;
}

bool FileIntoPlace::close() {
    if (!file)
        return true;
    errno = 0;
    const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
    const int flush_error = errno;
    const bool closed = std::fclose(file) == 0;
    file = nullptr;
    if (!flushed)
        errno = flush_error;
    return flushed && closed;
}

std::error_code FileIntoPlace::place() {
    if (file && !close())
        return {errno, std::generic_category()};
    std::error_code error;
    std::filesystem::rename(temp_path, target_path, error);
    if (!error)
        placed = true;
    return error;
}

} // namespace orvohost
