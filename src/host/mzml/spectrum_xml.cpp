#include "spectrum_xml.h"

#include "binary_array_xml.h"
#include "native_id.h"
#include "precursor_facts.h"
#include "xml_text.h"

#include <host/session/record_values.h>

#include <fmt/format.h>

#include <cmath>
#include <iterator>

namespace orvohost::mzml {

namespace {

constexpr std::size_t L = SPECTRUM_LEVEL;

void append_precursor(std::string& out, const SpectrumContext& context,
                      const orvoeng::ScanRecord& scan) {
    out += indent(L + 1);
    out += "<precursorList count=\"1\">\n";
    out += indent(L + 2);
    out += "<precursor";
    if (const orvoeng::ScanRecord* parent = context.selection.parent(scan)) {
        // A parent this file holds is referred to by its id; one the
        // filters left out, by its id in the source file.
        if (context.selection.index_of(*parent)) {
            out += " spectrumRef=\"";
        } else {
            out += " sourceFileRef=\"";
            out += SOURCE_FILE_ID;
            out += "\" externalSpectrumID=\"";
        }
        append_native_id(out, context.selection.native_number(*parent));
        out += '"';
    }
    out += ">\n";
    const PrecursorFacts facts = precursor_facts(scan, context.selection.tags(scan));
    if (facts.mz) {
        out += indent(L + 3);
        out += "<selectedIonList count=\"1\">\n";
        out += indent(L + 4);
        out += "<selectedIon>\n";
        append_cv_number(out, L + 5, Cv::SELECTED_ION_MZ, *facts.mz, false, Cv::MZ_UNIT);
        if (facts.charge)
            append_cv_integer(out, L + 5, Cv::CHARGE_STATE, *facts.charge);
        if (facts.intensity)
            append_cv_number(out, L + 5, Cv::PEAK_INTENSITY, *facts.intensity, false,
                             Cv::DETECTOR_COUNTS);
        out += indent(L + 4);
        out += "</selectedIon>\n";
        out += indent(L + 3);
        out += "</selectedIonList>\n";
    }
    // Required even where the file names neither energy nor method.
    if (!facts.collision_energy && facts.dissociation.empty()) {
        out += indent(L + 3);
        out += "<activation/>\n";
    } else {
        out += indent(L + 3);
        out += "<activation>\n";
        if (facts.collision_energy)
            append_cv_number(out, L + 4, Cv::COLLISION_ENERGY, *facts.collision_energy, false,
                             Cv::ELECTRONVOLT);
        for (const Cv method : facts.dissociation)
            append_cv_param(out, L + 4, method);
        out += indent(L + 3);
        out += "</activation>\n";
    }
    out += indent(L + 2);
    out += "</precursor>\n";
    out += indent(L + 1);
    out += "</precursorList>\n";
}

} // namespace

SpectrumFacts append_spectrum(std::string& out, const SpectrumContext& context, std::size_t index,
                              const orvoeng::Spectrum& spectrum) {
    const orvoeng::ScanRecord& scan = context.selection.scan(index);
    const auto& peaks = *spectrum.peaks;
    const SpectrumFacts facts = spectrum_facts(scan, peaks, context.peaks_filtered);
    const int level = scan.scan_type.ms_level;

    out += indent(L);
    fmt::format_to(std::back_inserter(out), "<spectrum index=\"{}\" id=\"", index);
    append_native_id(out, context.selection.native_number(scan));
    fmt::format_to(std::back_inserter(out), "\" defaultArrayLength=\"{}\">\n", peaks.size());
    append_cv_integer(out, L + 1, Cv::MS_LEVEL, level);
    append_cv_param(out, L + 1, level == 1 ? Cv::MS1_SPECTRUM : Cv::MSN_SPECTRUM);
    if (scan.scan_type.polarity == 0)
        append_cv_param(out, L + 1, Cv::POSITIVE_SCAN);
    else if (scan.scan_type.polarity == 1)
        append_cv_param(out, L + 1, Cv::NEGATIVE_SCAN);
    append_cv_param(out, L + 1,
                    spectrum.peak_kind == 0 ? Cv::CENTROID_SPECTRUM : Cv::PROFILE_SPECTRUM);
    append_cv_number(out, L + 1, Cv::TOTAL_ION_CURRENT, facts.tic, false);
    if (facts.base_peak) {
        append_cv_number(out, L + 1, Cv::BASE_PEAK_MZ, facts.base_peak->mz, facts.single,
                         Cv::MZ_UNIT);
        append_cv_number(out, L + 1, Cv::BASE_PEAK_INTENSITY, facts.base_peak->intensity,
                         facts.single, Cv::DETECTOR_COUNTS);
        append_cv_number(out, L + 1, Cv::LOWEST_OBSERVED_MZ, facts.lowest_mz, facts.single,
                         Cv::MZ_UNIT);
        append_cv_number(out, L + 1, Cv::HIGHEST_OBSERVED_MZ, facts.highest_mz, facts.single,
                         Cv::MZ_UNIT);
    }

    out += indent(L + 1);
    out += "<scanList count=\"1\">\n";
    append_cv_param(out, L + 2, Cv::NO_COMBINATION);
    out += indent(L + 2);
    out += "<scan>\n";
    append_cv_number(out, L + 3, Cv::SCAN_START_TIME, scan.retention_time, false, Cv::SECOND);
    if (const auto& filter = context.selection.tags(scan).filter_line)
        append_cv_param(out, L + 3, Cv::FILTER_STRING, *filter);
    out += indent(L + 2);
    out += "</scan>\n";
    out += indent(L + 1);
    out += "</scanList>\n";

    if (level >= 2)
        append_precursor(out, context, scan);

    out += indent(L + 1);
    out += "<binaryDataArrayList count=\"2\">\n";
    const double* first = peaks.empty() ? nullptr : &peaks.front().mz;
    constexpr std::size_t stride = sizeof(orvoeng::Peak) / sizeof(double);
    static_assert(sizeof(orvoeng::Peak) == 2 * sizeof(double), "a peak is two doubles");
    append_binary_array(out, L + 2, Cv::MZ_ARRAY, Cv::MZ_UNIT, first, peaks.size(), stride,
                        context.arrays.mz(facts.single));
    append_binary_array(out, L + 2, Cv::INTENSITY_ARRAY, Cv::DETECTOR_COUNTS,
                        peaks.empty() ? nullptr : &peaks.front().intensity, peaks.size(), stride,
                        context.arrays.intensity(facts.single));
    out += indent(L + 1);
    out += "</binaryDataArrayList>\n";
    out += indent(L);
    out += "</spectrum>\n";
    return facts;
}

} // namespace orvohost::mzml
