// What the end of an mzXML file tells before the file is read: how many
// scans its own index lists and whether a digest follows. A guess that
// lets the copy be written in the same pass that surveys the file; the
// survey then checks it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace orvohost::repair {

struct TailHint {
    // The offsets the index that <indexOffset> points to lists; nothing for
    // a file without one, or whose end cannot be made out.
    std::optional<std::uint64_t> indexed;
    bool sha1 = false; // a <sha1> near the end
};

TailHint read_tail_hint(const std::filesystem::path& path);

} // namespace orvohost::repair
