// The loop of the exports that write every selected spectrum as text (dump,
// mgf): each scan the selection takes is fetched, its peaks filtered, and
// handed to the text pipeline in file order; a spectrum that cannot be read
// is named on standard error and left out, the others still written.
#pragma once

#include "context.h"

#include <host/output/parallel_format.h>

#include <filesystem>
#include <functional>
#include <vector>

namespace orvohost::cli {

struct SpectraFed {
    std::uint64_t taken = 0; // scans the selection took
    bool all_read = true;    // every taken spectrum read
};

SpectraFed feed_spectra(Context& context, DataFile& data, const std::filesystem::path& file,
                        const std::vector<orvoeng::ScanRecord>& scans,
                        const std::function<bool(const orvoeng::ScanRecord&)>& selects,
                        const PeakFilter& peaks, PAL::Progress& progress, TextPipeline& pipeline);

} // namespace orvohost::cli
