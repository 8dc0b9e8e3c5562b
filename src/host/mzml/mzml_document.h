// An indexedmzML document written as a stream: the head, the spectra as
// other threads make them, then the total ion current chromatogram, the
// index of every spectrum and chromatogram and the file's checksum. What is
// kept meanwhile is some bytes a spectrum (its offset and total ion
// current), never the text.
#pragma once

#include "array_options.h"
#include "counted_output.h"
#include "run_head.h"
#include "spectrum_selection.h"

#include <ds/data_source_intf.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvohost::mzml {

// The id of the one chromatogram.
constexpr const char* TIC_CHROMATOGRAM_ID = "TIC";

class MzmlDocument {
public:
    // `selection` must outlive the document; `filtered`: a peak filter
    // may leave peaks out.
    MzmlDocument(CountedOutput::Sink sink, const SpectrumSelection& selection,
                 const ArrayOptions& arrays, bool filtered);

    void write_head(const RunHead& head);
    // Appends the spectrum at `index` to `out`. Any thread may call it, for
    // each index once; its text is then handed to write_spectra in order.
    void format_spectrum(std::string& out, std::size_t index, const orvoeng::Spectrum& spectrum);
    // Whole spectra as format_spectrum made them, in index order, one call
    // at a time.
    void write_spectra(std::string_view text);
    // After the last spectrum: the chromatogram, the index list and the
    // checksum. Raises HostError when a spectrum is missing.
    void write_tail();

    std::uint64_t size() const { return out.offset(); }
    std::size_t spectra_written() const { return next; }
    // After write_tail: the checksum the file states.
    const std::string& checksum() const { return stated_checksum; }

private:
    void write_chromatogram(std::string& text);
    void write_index_list(std::string& text, std::uint64_t chromatogram_offset);

    CountedOutput out;
    const SpectrumSelection& selection;
    ArrayOptions arrays;
    bool filtered;
    // Of each spectrum: the length of its text until written, its offset after.
    std::vector<std::uint64_t> offsets;
    std::vector<double> tics;
    std::size_t next = 0; // the index of the next spectrum to write
    std::string stated_checksum;
};

} // namespace orvohost::mzml
