// The SHA-1 of a whole file, as the source file's entry of an mzML file
// states it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace orvohost::mzml {

// Lower-case hex digits. Raises HostError naming the file when it cannot
// be read.
std::string file_sha1(const std::filesystem::path& file);

// The SHA-1 of the first `size` bytes; raises HostError when the file is
// shorter or cannot be read.
std::string file_prefix_sha1(const std::filesystem::path& file, std::uint64_t size);

} // namespace orvohost::mzml
