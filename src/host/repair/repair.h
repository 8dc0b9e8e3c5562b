// Repair of one mzXML file into a copy the strict reader opens: scans
// numbered by position, the declared scan count made true, a fresh index,
// peaks attributes completed, mzXML 3.x brought to 2.1. Every byte the
// reader does not need changed is copied as it is.
#pragma once

#include "copy_writer.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvohost::repair {

// What a repair changed, for the one line a person reads.
struct RepairReport {
    std::uint64_t scans = 0;
    std::uint64_t renumbered = 0;                 // scans whose num changed
    std::optional<std::int64_t> first_renumbered; // the first such scan's old num
    std::uint64_t references = 0;                 // precursorScanNum values that followed
    std::optional<std::string> old_count;         // the declared count, when changed
    bool count_added = false;                     // msRun had no scanCount
    std::string old_version;                      // "3.2" when the schema changed
    std::uint64_t decompressed = 0;               // zlib peak texts written plain
    std::uint64_t content_types = 0;              // contentType written as pairOrder
    std::uint64_t byte_orders = 0;                // byteOrder="network" added
    std::uint64_t pair_orders = 0;                // pairOrder="m/z-int" added
    std::uint64_t regrouped = 0;                  // peak texts with blanks inside a group
    std::uint64_t early_counts = 0;               // scanCount= texts before the run's, spaced
    std::uint64_t other_numbers = 0;              // other num= texts in scan headers, spaced
    bool sha1 = false;                            // the copy's <sha1> recomputed
    std::vector<std::uint64_t> undecodable;       // positions of scans copied as they were
    std::uint64_t bytes_in = 0;
    std::uint64_t bytes_out = 0;
};

// Receives each scan's position and its number in the input ("-" when it
// had none), in file order.
using ScanMapSink = std::function<void(std::uint64_t position, std::string_view original)>;

// Writes the repaired copy of `input` into `out` (closed, not committed),
// reading with up to `threads` threads. Raises RepairRefused (nothing
// usable written) or RepairIoError.
RepairReport repair_file(const std::filesystem::path& input, CopyWriter& out,
                         const ScanMapSink& map, unsigned threads = 1);

// "renumbered 4 scans from 19, index rebuilt: 4 scans": what changed.
std::string describe(const RepairReport& report);

} // namespace orvohost::repair
