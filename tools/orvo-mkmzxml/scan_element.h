// One scan element: the start tag with the values a reader lists without
// decoding peaks, the precursor of a fragment scan, and the peaks.
#pragma once

#include "counted_output.h"
#include "options.h"
#include "peak_list.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace mkmzxml {

struct Scan {
    std::uint32_t num;
    int level;
    std::uint64_t retention_ms;
    const PeakList& peaks;
    std::optional<Precursor> precursor; // fragment scans only
    std::uint32_t survey_num;           // num of the last MS1 scan, 0 before the first
    bool centroided;                    // what the run's data processing states
    int precision;
    std::string_view encoded_peaks; // base64 of `peaks` at `precision`
    // mzXML 3.x: the pair order given as contentType and the compression
    // stated: zlib to this many bytes, or none.
    bool mzxml3 = false;
    std::optional<std::size_t> compressed_length;
    Layout layout = Layout::compact;
};

// Writes the element, indented, and returns the offset of its "<scan".
std::uint64_t write_scan(OutputFile& out, const Scan& scan);

} // namespace mkmzxml
