#include "converter_scans.h"

#include "start_tag_writer.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace mkmzxml {

namespace {

constexpr std::string_view SCAN_INDENT = "\n          ";     // under num="
constexpr std::string_view PEAKS_INDENT = "\n             "; // under compressionType="

// The shortest text that reads back as the value (of the float when
// `single`), its exponent written without a plus sign: "2.2379475e06".
void write_shortest(OutputFile& out, double value, bool single) {
    char text[40];
    char* end = single ? std::to_chars(text, text + sizeof text, static_cast<float>(value)).ptr
                       : std::to_chars(text, text + sizeof text, value).ptr;
    std::string_view written(text, static_cast<std::size_t>(end - text));
    if (const std::size_t plus = written.find("e+"); plus != written.npos) {
        out.write(written.substr(0, plus + 1));
        written.remove_prefix(plus + 2);
    }
    out.write(written);
}

void fixed2(OutputFile& out, double value) {
    char text[64];
    const char* end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2).ptr;
    out.write({text, static_cast<std::size_t>(end - text)});
}

void shortest_attribute(StartTagWriter& tag, std::string_view name, double value, bool single) {
    write_shortest(tag.begin_value(name), value, single);
    tag.end_value();
}

// A Thermo filter line: the analyser, centroid (c) or profile (p), the scan
// range; a fragment scan names its precursor and activation.
void write_filter_line(OutputFile& out, const Scan& scan) {
    out.write(scan.precursor ? "ITMS + " : "FTMS + ");
    out.write(scan.centroided ? "c NSI " : "p NSI ");
    if (scan.precursor) {
        out.write("d Full ms2 ");
        fixed2(out, scan.precursor->mz);
        out.write("@cid35.00 [");
    } else {
        out.write("Full ms [");
    }
    fixed2(out, std::floor(scan.peaks.low_mz));
    out.write("-");
    fixed2(out, std::ceil(scan.peaks.high_mz));
    out.write("]");
}

} // namespace

std::uint64_t write_msconvert_scan(OutputFile& out, const Scan& scan) {
    const PeakList& peaks = scan.peaks;
    const bool single = scan.precision == 32;
    out.write("    ");
    const std::uint64_t offset = out.position();
    StartTagWriter tag(out, "scan", SCAN_INDENT);
    tag.uint("num", scan.num);
    tag.text("scanType", "Full");
    tag.text("centroided", scan.centroided ? "1" : "0");
    tag.uint("msLevel", static_cast<std::uint64_t>(scan.level));
    tag.uint("peaksCount", peaks.mz.size());
    tag.text("polarity", "+");
    // Seconds, as short as exact: "PT1501.35S".
    tag.begin_value("retentionTime").write("PT");
    write_shortest(out, static_cast<double>(scan.retention_ms) / 1000, false);
    out.write("S");
    tag.end_value();
    if (scan.precursor)
        tag.text("collisionEnergy", "35");
    shortest_attribute(tag, "lowMz", peaks.low_mz, single);
    shortest_attribute(tag, "highMz", peaks.high_mz, single);
    shortest_attribute(tag, "basePeakMz", peaks.base_peak_mz, single);
    shortest_attribute(tag, "basePeakIntensity", peaks.base_peak_intensity, single);
    shortest_attribute(tag, "totIonCurrent", peaks.tot_ion_current, single);
    tag.text("msInstrumentID", "1");
    write_filter_line(tag.begin_value("filterLine"), scan);
    tag.end_value();
    tag.close(">\n");

    if (scan.precursor) {
        out.write("      ");
        StartTagWriter precursor(out, "precursorMz", " ");
        if (scan.survey_num != 0)
            precursor.uint("precursorScanNum", scan.survey_num);
        shortest_attribute(precursor, "precursorIntensity", scan.precursor->intensity, single);
        if (scan.precursor->charge != 0)
            precursor.uint("precursorCharge", static_cast<std::uint64_t>(scan.precursor->charge));
        precursor.text("activationMethod", "CID");
        precursor.close();
        write_shortest(out, scan.precursor->mz, single);
        out.write("</precursorMz>\n");
    }

    // In 3.2 (--mzxml3) the tag as msconvert writes it, with zlib or not;
    // repair inflates the text, drops the two compression attributes when
    // they said zlib and renames contentType pairOrder where it stands.
    out.write("      ");
    StartTagWriter peaks_tag(out, "peaks", PEAKS_INDENT);
    if (scan.compressed_length) {
        peaks_tag.text("compressionType", "zlib");
        peaks_tag.uint("compressedLen", *scan.compressed_length);
    } else {
        peaks_tag.text("compressionType", "none");
        peaks_tag.text("compressedLen", "0");
    }
    peaks_tag.text("precision", single ? "32" : "64");
    peaks_tag.text("byteOrder", "network");
    peaks_tag.text(scan.mzxml3 ? "contentType" : "pairOrder", "m/z-int");
    peaks_tag.close();
    out.write(scan.encoded_peaks);
    out.write("</peaks>\n    </scan>\n");
    return offset;
}

} // namespace mkmzxml
