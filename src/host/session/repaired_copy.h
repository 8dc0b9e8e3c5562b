// A file the plug-in refused, repaired into a temporary copy that is read
// in its place. The copy lives in a temporary folder for as long as this
// object does, and is removed even when the process is stopped.
#pragma once

#include "scan_numbers.h"

#include <filesystem>
#include <string>

namespace orvohost {

struct CopyPolicy {
    // The folder of the copy; empty: the system's temporary folder ($TMPDIR).
    std::filesystem::path folder;
    // Threads the repair may use.
    unsigned threads = 1;
};

class RepairedCopy {
public:
    // Repairs `original` into a new file of the policy's folder. Raises
    // HostError when the folder lacks the room (the sentence names the room
    // needed and --temp-dir) or the copy cannot be written, and
    // repair::RepairRefused when the file is not one repair can mend.
    RepairedCopy(const std::filesystem::path& original, const CopyPolicy& policy);
    ~RepairedCopy();
    RepairedCopy(const RepairedCopy&) = delete;
    RepairedCopy& operator=(const RepairedCopy&) = delete;

    const std::filesystem::path& path() const { return copy; }
    // What the repair mended, in its own words ("schema 3.2 written as 2.1,
    // index rebuilt: 2 scans").
    const std::string& mended() const { return what; }
    // The nums the original gave its scans.
    const ScanNumbers& original_numbers() const { return numbers; }

private:
    std::filesystem::path copy;
    std::string what;
    ScanNumbers numbers;
};

// Room a repaired copy of a file of `bytes` may take: peak lists written
// plain where the original compressed them grow.
std::uint64_t room_for_copy(std::uint64_t bytes);

} // namespace orvohost
