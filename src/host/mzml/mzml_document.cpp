#include "mzml_document.h"

#include "binary_array_xml.h"
#include "mzml_error.h"
#include "native_id.h"
#include "spectrum_xml.h"
#include "xml_text.h"

#include <fmt/format.h>

#include <iterator>
#include <utility>

namespace orvohost::mzml {

namespace {

// The text of the tail is handed on in pieces of about this size, so that
// the index of a large run is never held whole.
constexpr std::size_t PIECE = std::size_t{1} << 20;

} // namespace

MzmlDocument::MzmlDocument(CountedOutput::Sink sink, const SpectrumSelection& selected,
                           const ArrayOptions& array_options, bool peaks_filtered)
    : out(std::move(sink)), selection(selected), arrays(array_options), filtered(peaks_filtered),
      offsets(selected.size(), 0), tics(selected.size(), 0.0) {}

void MzmlDocument::write_head(const RunHead& head) {
    std::string text;
    append_head(text, head);
    out.write(text);
}

void MzmlDocument::format_spectrum(std::string& text, std::size_t index,
                                   const orvoeng::Spectrum& spectrum) {
    const std::size_t start = text.size();
    try {
        const SpectrumContext context{selection, arrays, filtered};
        tics[index] = append_spectrum(text, context, index, spectrum).tic;
    } catch (const MzmlWriteError& error) {
        throw MzmlWriteError(fmt::format("spectrum {}: {}",
                                         native_id(selection.native_number(selection.scan(index))),
                                         error.what()));
    }
    offsets[index] = text.size() - start;
}

void MzmlDocument::write_spectra(std::string_view text) {
    const std::uint64_t base = out.offset();
    std::uint64_t at = 0;
    while (at < text.size()) {
        if (next >= offsets.size())
            throw HostError("internal: more spectrum text than spectra");
        const std::uint64_t length = offsets[next];
        offsets[next] = base + at + SPECTRUM_INDENT;
        at += length;
        ++next;
    }
    if (at != text.size())
        throw HostError("internal: spectrum text handed on in pieces");
    out.write(text);
}

void MzmlDocument::write_chromatogram(std::string& text) {
    std::vector<double> times;
    std::vector<double> currents;
    for (std::size_t i = 0; i < selection.size(); ++i)
        if (selection.in_chromatogram(i)) {
            times.push_back(selection.scan(i).retention_time);
            currents.push_back(tics[i]);
        }
    constexpr std::size_t L = SPECTRUM_LEVEL;
    fmt::format_to(std::back_inserter(text),
                   "{}<chromatogram index=\"0\" id=\"{}\" defaultArrayLength=\"{}\">\n", indent(L),
                   TIC_CHROMATOGRAM_ID, times.size());
    append_cv_param(text, L + 1, Cv::TIC_CHROMATOGRAM);
    text += indent(L + 1);
    text += "<binaryDataArrayList count=\"2\">\n";
    append_binary_array(text, L + 2, Cv::TIME_ARRAY, Cv::SECOND, times.data(), times.size(), 1,
                        arrays.time());
    append_binary_array(text, L + 2, Cv::INTENSITY_ARRAY, Cv::DETECTOR_COUNTS, currents.data(),
                        currents.size(), 1, arrays.chromatogram_intensity());
    text += indent(L + 1);
    text += "</binaryDataArrayList>\n";
    text += indent(L);
    text += "</chromatogram>\n";
}

void MzmlDocument::write_index_list(std::string& text, std::uint64_t chromatogram_offset) {
    // An index holds at least one offset: a file without spectra has the
    // chromatogram's index alone.
    const bool spectra = !offsets.empty();
    fmt::format_to(std::back_inserter(text), "  <indexList count=\"{}\">\n", spectra ? 2 : 1);
    if (spectra) {
        text += "    <index name=\"spectrum\">\n";
        for (std::size_t i = 0; i < offsets.size(); ++i) {
            text += "      <offset idRef=\"";
            append_native_id(text, selection.native_number(selection.scan(i)));
            fmt::format_to(std::back_inserter(text), "\">{}</offset>\n", offsets[i]);
            if (text.size() >= PIECE) {
                out.write(text);
                text.clear();
            }
        }
        text += "    </index>\n";
    }
    fmt::format_to(std::back_inserter(text),
                   "    <index name=\"chromatogram\">\n"
                   "      <offset idRef=\"{}\">{}</offset>\n"
                   "    </index>\n"
                   "  </indexList>\n",
                   TIC_CHROMATOGRAM_ID, chromatogram_offset);
}

void MzmlDocument::write_tail() {
    if (next != offsets.size())
        throw HostError(fmt::format("internal: {} of {} spectra written", next, offsets.size()));
    std::string text = "      </spectrumList>\n";
    fmt::format_to(std::back_inserter(text),
                   "      <chromatogramList count=\"1\" defaultDataProcessingRef=\"{}\">\n",
                   DATA_PROCESSING_ID);
    const std::uint64_t chromatogram_offset = out.offset() + text.size() + SPECTRUM_INDENT;
    write_chromatogram(text);
    text += "      </chromatogramList>\n    </run>\n  </mzML>\n";
    out.write(text);
    text.clear();

    const std::uint64_t index_list_offset = out.offset() + 2; // after its indentation
    write_index_list(text, chromatogram_offset);
    fmt::format_to(std::back_inserter(text),
                   "  <indexListOffset>{}</indexListOffset>\n  <fileChecksum>", index_list_offset);
    // The digest covers every byte up to and including this start tag.
    out.write(text);
    stated_checksum = out.digest();
    text = stated_checksum;
    text += "</fileChecksum>\n</indexedmzML>\n";
    out.write_unhashed(text);
}

} // namespace orvohost::mzml
