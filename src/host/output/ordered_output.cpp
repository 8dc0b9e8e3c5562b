#include "ordered_output.h"

#include <host/base/host_error.h>

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

namespace orvohost {

namespace {

constexpr std::size_t FULL = std::size_t{1} << 20;

std::filesystem::path kept_file_path() {
    static std::mutex naming;
    static std::mt19937_64 numbers{std::random_device{}()};
    const std::lock_guard<std::mutex> hold(naming);
    return std::filesystem::temp_directory_path() /
           fmt::format("orvo-host-{:016x}.part", numbers());
}

[[noreturn]] void kept_failed(const std::filesystem::path& path) {
    throw HostError(
        fmt::format("cannot keep output in {}: {}", path.string(), std::strerror(errno)));
}

} // namespace

OrderedSlot::~OrderedSlot() {
    if (kept) {
        std::fclose(kept);
        std::error_code ignored;
        std::filesystem::remove(kept_path, ignored);
    }
}

void OrderedSlot::take(std::string& text) {
    const std::lock_guard<std::mutex> hold(lock);
    if (in_turn) {
        out->write(text);
    } else {
        if (!kept) {
            kept_path = kept_file_path();
            kept = std::fopen(kept_path.string().c_str(), "w+b");
            if (!kept)
                kept_failed(kept_path);
        }
        if (std::fwrite(text.data(), 1, text.size(), kept) != text.size())
            kept_failed(kept_path);
    }
    text.clear();
}

void OrderedSlot::take_when_full(std::string& text) {
    if (text.size() > FULL)
        take(text);
}

void OrderedSlot::start_turn() {
    const std::lock_guard<std::mutex> hold(lock);
    if (in_turn)
        return;
    in_turn = true;
    if (!kept)
        return;
    if (std::fflush(kept) != 0 || std::fseek(kept, 0, SEEK_SET) != 0)
        kept_failed(kept_path);
    std::vector<char> block(FULL);
    std::size_t got = 0;
    while ((got = std::fread(block.data(), 1, block.size(), kept)) > 0)
        out->write(std::string_view(block.data(), got));
    if (std::ferror(kept))
        kept_failed(kept_path);
    std::fclose(kept);
    kept = nullptr;
    std::error_code ignored;
    std::filesystem::remove(kept_path, ignored);
}

} // namespace orvohost
