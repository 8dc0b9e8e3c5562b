// One mzXML file converted to indexed mzML, as orvo-host mzml and the
// Python module's to_mzml both do it: listed, its spectra fetched on the
// calling thread and formatted on others, written under a temporary name
// beside the target and, with verification, read back and held against
// the source before it takes the target's name.
#pragma once

#include "array_options.h"

#include <host/select/peak_filter.h>
#include <host/select/scan_filter.h>
#include <host/session/data_file.h>

#include <pal/progress.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvohost::mzml {

struct ConversionOptions {
    ArrayOptions arrays;
    ScanFilter filter;
    PeakFilter peaks;
    bool verify = false;
    // Threads that format spectra besides the one that fetches them.
    unsigned format_threads = 0;
    // The options the file is peeked at with (its instrument).
    ReadOptions reading;
    // Take the SHA-1 of the whole written file too, as it is written.
    bool hash_output = false;
};

struct ConversionResult {
    std::size_t scans_listed = 0;
    std::size_t spectra = 0; // written
    std::uint64_t bytes = 0;
    std::string source_sha1;
    std::string checksum;            // the fileChecksum: of the bytes up to it
    std::optional<std::string> sha1; // of the whole file, when asked for
    bool verified = false;
};

// Lists the file with progress under the node given; how a face lists it
// (and what it says of a file read as profile spectra) is its own.
using ListFile = std::function<const std::vector<orvoeng::ScanRecord>&(
    DataFile& data, const PAL::SmartPtr<PAL::Progress>& parent)>;

// Writes `data`'s file as mzML to `target` ("-" or "" for standard output,
// which cannot be verified). Raises the listing's ReadFailure, HostError for
// an output that cannot be written or would replace its source, and
// HostError naming the target for a verification that fails; the target
// is then left as it was.
ConversionResult convert_to_mzml(DataFile& data, const std::filesystem::path& target,
                                 const ConversionOptions& options, const ListFile& list);

} // namespace orvohost::mzml
