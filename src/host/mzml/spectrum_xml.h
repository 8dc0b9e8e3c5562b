// One spectrum element of an mzML file, made from the scan's record and
// its (filtered) peaks. Spectra are made on many threads at once; nothing
// here is shared but what is read.
#pragma once

#include "array_options.h"
#include "spectrum_facts.h"
#include "spectrum_selection.h"

#include <ds/data_source_intf.h>
#include <ds/types.h>

#include <cstddef>
#include <string>

namespace orvohost::mzml {

// The nesting of a spectrum element: indexedmzML, mzML, run, spectrumList.
constexpr std::size_t SPECTRUM_LEVEL = 4;
// Its text starts with this many blanks before "<spectrum".
constexpr std::size_t SPECTRUM_INDENT = 2 * SPECTRUM_LEVEL;
// The id of the one source file, which an external precursor names.
constexpr const char* SOURCE_FILE_ID = "SF1";

struct SpectrumContext {
    const SpectrumSelection& selection;
    const ArrayOptions& arrays;
    bool peaks_filtered = false;
};

// Appends the spectrum at `index` of the selection; returns what its
// header states of the peaks (the total ion current goes on into the
// chromatogram).
SpectrumFacts append_spectrum(std::string& out, const SpectrumContext& context, std::size_t index,
                              const orvoeng::Spectrum& spectrum);

} // namespace orvohost::mzml
