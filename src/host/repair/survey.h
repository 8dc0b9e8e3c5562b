// The first of the two passes over an input: what must be known before the
// first byte of the copy is written (how many scans there are, what they
// were numbered, whether an index and a digest exist), and whether the
// file can be repaired at all. Reads the whole file, keeps only numbers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orvohost::repair {

struct Survey {
    // The schema version the mzXML start tag names, "2.1" or "3.2".
    std::string version;
    // Each scan's num in start-tag order; nullopt for a scan without one
    // or with one that is no number.
    std::vector<std::optional<std::int64_t>> nums;
    bool has_index = false;
    bool has_index_offset = false;
    bool has_sha1 = false;
    // How the file ends its lines, for the lines the repair writes.
    std::string line_end = "\n";

    bool is_3x() const { return version.starts_with("3"); }
    // Whether some scan's number is not its position.
    bool renumbers() const;
};

// Raises RepairRefused with the reason when the file is not XML, is
// mzXML 1.x, names no 2.x or 3.x schema, holds peaks other than m/z and
// intensity pairs, or is cut short; RepairIoError when it cannot be read.
// With more than one thread, the two halves of a file of at least
// `worth_splitting` bytes are surveyed at once; the result is the same.
Survey survey_file(const std::filesystem::path& path, unsigned threads = 1,
                   std::uint64_t worth_splitting = std::uint64_t{64} << 20);

// A decimal number as an attribute holds it, or nothing.
std::optional<std::int64_t> to_number(std::string_view text);

} // namespace orvohost::repair
