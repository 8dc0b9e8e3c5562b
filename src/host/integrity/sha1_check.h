// The digest an mzXML file may state about itself: a <sha1> element just
// before </mzXML>, holding the SHA-1 of every byte of the file from the
// start up to and including the six characters "<sha1>". Many converters
// leave it stale, so a mismatch is something to report, not a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace orvohost {

struct Sha1Result {
    // UNREADABLE: the file could not be opened or read; `error` says why.
    enum State { ABSENT, MATCHES, STALE, UNREADABLE };
    State state = ABSENT;
    std::string stated;   // the digest as written, lower-cased; empty when absent
    std::string computed; // lower-case hex of the bytes up to and including "<sha1>";
                          // empty when absent or unreadable
    std::string error;
};

// The file is read once, in blocks of this size, whatever its length: small
// enough to be hashed while still in the processor's cache.
inline constexpr std::size_t SHA1_CHECK_BLOCK = std::size_t{128} << 10;

// Checks the LAST "<sha1>" of the file, wherever the blocks split it. Its
// text must be 40 hex digits (white space around them is allowed) followed
// by "</sha1>"; anything else is STALE, with `stated` holding the trimmed
// text (at most 64 characters). Never throws for a bad or missing file.
Sha1Result check_sha1(const std::filesystem::path& file);

} // namespace orvohost
