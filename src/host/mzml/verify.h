// A written mzML file held against its source: every spectrum's values and
// arrays against the source's spectrum, every index offset against the
// start tag it names, the index list's offset, and the file's checksum.
#pragma once

#include "spectrum_selection.h"

#include <ds/data_source_intf.h>

#include <pal/atomic.h>

#include <cstddef>
#include <filesystem>
#include <functional>

namespace orvohost::mzml {

struct VerifySource {
    const SpectrumSelection& selection;
    // The source's spectrum at an index of the selection, with the peak
    // filters applied as when it was written; asked for in index order.
    std::function<PAL::SmartPtr<orvoeng::Spectrum>(std::size_t index)> fetch;
    bool peaks_filtered = false;
};

// Returns the number of spectra checked. Raises MzmlVerifyError naming the
// file and the first thing that differs.
std::size_t verify_mzml(const std::filesystem::path& written, const VerifySource& source);

} // namespace orvohost::mzml
