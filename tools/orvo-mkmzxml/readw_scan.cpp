#include "converter_scans.h"

#include "start_tag_writer.h"

#include <charconv>
#include <string_view>

namespace mkmzxml {

namespace {

// Blanks under num=" in the scan tag; in the peaks tag a tab and blanks,
// which put the later attributes under precision=" at a tab width of 8.
constexpr std::string_view SCAN_INDENT = "\n          ";
constexpr std::string_view PEAKS_INDENT = "\n\t     ";

void write_chars(OutputFile& out, const char* text, const char* end) {
    out.write({text, static_cast<std::size_t>(end - text)});
}

// C's "%g" as a Windows runtime prints it: six significant digits and an
// exponent of at least three digits ("1.62921e+007").
void write_g(OutputFile& out, double value) {
    char text[40];
    char* end = std::to_chars(text, text + 32, value, std::chars_format::general, 6).ptr;
    const std::string_view written(text, static_cast<std::size_t>(end - text));
    const std::size_t e = written.find('e');
    if (e != written.npos && written.size() - e == 4) { // "e+07": one digit short
        text[e + 4] = text[e + 3];
        text[e + 3] = text[e + 2];
        text[e + 2] = '0';
        ++end;
    }
    write_chars(out, text, end);
}

// "%.Nf".
void write_fixed(OutputFile& out, double value, int decimals) {
    char text[64];
    const char* end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
    write_chars(out, text, end);
}

void g_attribute(StartTagWriter& tag, std::string_view name, double value) {
    write_g(tag.begin_value(name), value);
    tag.end_value();
}

} // namespace

std::uint64_t write_readw_scan(OutputFile& out, const Scan& scan) {
    const PeakList& peaks = scan.peaks;
    out.write("    ");
    const std::uint64_t offset = out.position();
    StartTagWriter tag(out, "scan", SCAN_INDENT);
    tag.uint("num", scan.num);
    tag.text("scanType", "FULL");
    tag.uint("msLevel", static_cast<std::uint64_t>(scan.level));
    tag.uint("peaksCount", peaks.mz.size());
    tag.text("polarity", "+");
    // Seconds with two decimals: "PT1501.35S".
    tag.begin_value("retentionTime").write("PT");
    write_fixed(out, static_cast<double>(scan.retention_ms) / 1000, 2);
    out.write("S");
    tag.end_value();
    if (scan.precursor)
        tag.text("collisionEnergy", "35");
    g_attribute(tag, "lowMz", peaks.low_mz);
    g_attribute(tag, "highMz", peaks.high_mz);
    g_attribute(tag, "basePeakMz", peaks.base_peak_mz);
    g_attribute(tag, "basePeakIntensity", peaks.base_peak_intensity);
    g_attribute(tag, "totIonCurrent", peaks.tot_ion_current);
    tag.close(">\n");

    if (scan.precursor) {
        out.write("      ");
        StartTagWriter precursor(out, "precursorMz", " ");
        g_attribute(precursor, "precursorIntensity", scan.precursor->intensity);
        if (scan.precursor->charge != 0)
            precursor.uint("precursorCharge", static_cast<std::uint64_t>(scan.precursor->charge));
        precursor.close();
        write_fixed(out, scan.precursor->mz, 8);
        out.write("</precursorMz>\n");
    }

    out.write("      ");
    StartTagWriter peaks_tag(out, "peaks", PEAKS_INDENT);
    peaks_tag.text("precision", scan.precision == 32 ? "32" : "64");
    peaks_tag.text("byteOrder", "network");
    peaks_tag.text("pairOrder", "m/z-int");
    peaks_tag.close();
    out.write(scan.encoded_peaks);
    out.write("</peaks>\n    </scan>\n");
    return offset;
}

} // namespace mkmzxml
