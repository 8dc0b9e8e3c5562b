#include "repaired_copy.h"

#include <host/base/host_error.h>
#include <host/base/temporary_files.h>
#include <host/repair/repair.h>
#include <host/repair/repair_error.h>

#include <fmt/format.h>

#include <charconv>
#include <random>
#include <system_error>

namespace orvohost {

namespace {

std::filesystem::path temporary_folder(const CopyPolicy& policy) {
    if (!policy.folder.empty())
        return policy.folder;
    std::error_code error;
    auto folder = std::filesystem::temp_directory_path(error);
    if (error)
        throw HostError("no temporary folder for a repaired copy: " + error.message() +
                        "; give --temp-dir DIR");
    return folder;
}

std::string megabytes(std::uint64_t bytes) {
    return fmt::format("{:.1f} MB", static_cast<double>(bytes) / 1e6);
}

} // namespace

std::uint64_t room_for_copy(std::uint64_t bytes) {
    // A copy is the original's size where nothing was compressed; zlib
    // peak lists inflate to some three times theirs, and base64 adds a
    // third to that.
    return bytes + bytes / 2 + (std::uint64_t{1} << 20);
}

RepairedCopy::RepairedCopy(const std::filesystem::path& original, const CopyPolicy& policy) {
    const std::filesystem::path folder = temporary_folder(policy);
    std::error_code error;
    // Asked first: not every system's free-space call fails for a folder
    // that is not there.
    if (!std::filesystem::is_directory(folder, error))
        throw HostError(fmt::format("{}: a repaired copy cannot be made in {}: there is no such "
                                    "folder; give --temp-dir DIR",
                                    original.string(), folder.string()));
    const std::uint64_t size = std::filesystem::file_size(original, error);
    const auto space = std::filesystem::space(folder, error);
    if (error)
        throw HostError(fmt::format("{}: a repaired copy cannot be made in {}: {}; give "
                                    "--temp-dir DIR",
                                    original.string(), folder.string(), error.message()));
    const std::uint64_t needed = room_for_copy(size);
    if (space.available < needed)
        throw HostError(fmt::format("{}: a repaired copy needs about {} in {}, which has {} free; "
                                    "give --temp-dir DIR on a disk with room",
                                    original.string(), megabytes(needed), folder.string(),
                                    megabytes(space.available)));
    static thread_local std::mt19937_64 random{std::random_device{}()};
    copy = folder / fmt::format("orvo-repaired-{:016x}.mzXML", random());
    track_temporary(copy);
    try {
        repair::CopyWriter out(copy);
        std::vector<std::int64_t> by_position;
        const repair::ScanMapSink sink = [&](std::uint64_t position, std::string_view num) {
            std::int64_t value = ScanNumbers::NONE;
            const auto [end, failed] = std::from_chars(num.data(), num.data() + num.size(), value);
            if (failed != std::errc() || end != num.data() + num.size())
                value = ScanNumbers::NONE;
            if (by_position.size() < position)
                by_position.resize(position, ScanNumbers::NONE);
            by_position[position - 1] = value;
        };
        const repair::RepairReport report =
            repair::repair_file(original, out, sink, std::max(1U, policy.threads));
        out.commit();
        what = repair::describe(report);
        numbers = ScanNumbers(std::move(by_position));
    } catch (const repair::RepairIoError& failure) {
        forget_temporary(copy);
        // The system's reason, without the temporary file's name, which
        // means nothing to the person who named the original.
        const std::string_view text = failure.what();
        const std::size_t reason = text.rfind(": ");
        throw HostError(fmt::format("{}: a repaired copy cannot be written in {}: {}",
                                    original.string(), folder.string(),
                                    reason == text.npos ? text : text.substr(reason + 2)));
    } catch (...) {
        forget_temporary(copy);
        throw;
    }
}

RepairedCopy::~RepairedCopy() {
    std::error_code ignored;
    std::filesystem::remove(copy, ignored);
    forget_temporary(copy);
}

} // namespace orvohost
