// The head of an mzML document, everything before its first spectrum: the
// vocabularies, the source file with its digest, the software, the
// instrument, the processing, and the start of the run and its spectrum
// list.
#pragma once

#include "instrument_config.h"

#include <cstddef>
#include <filesystem>
#include <string>

namespace orvohost::mzml {

struct RunHead {
    std::filesystem::path source;
    std::string source_sha1; // 40 hex digits
    InstrumentDescription instrument;
    bool has_ms1 = false;
    bool has_msn = false;
    std::size_t spectrum_count = 0;
};

// The ids of the head that spectra, chromatograms and lists refer to.
constexpr const char* SOFTWARE_ID = "orvo";
constexpr const char* DATA_PROCESSING_ID = "orvo_conversion";

void append_head(std::string& out, const RunHead& head);

// An id for the run from the source's name: an XML name (letters, digits,
// '_', '-', '.'; not starting with a digit, '-' or '.').
std::string run_id(const std::filesystem::path& source);
// "file:///folder/of/the/source", each byte a URI may not hold as it is
// percent-encoded.
std::string folder_uri(const std::filesystem::path& source);

} // namespace orvohost::mzml
