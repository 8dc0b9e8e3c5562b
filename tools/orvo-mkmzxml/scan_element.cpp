#include "scan_element.h"

#include "converter_scans.h"
#include "xml_numbers.h"

namespace mkmzxml {

namespace {

// What stands between two attributes of a start tag: a blank, or a line
// break and the indentation that aligns the attribute under the first one,
// as converters write it.
struct Separator {
    std::string_view text;
    void write(OutputFile& out) const { out.write(text); }
};

constexpr std::string_view SCAN_INDENT = "\n          ";     // under num="
constexpr std::string_view PEAKS_INDENT = "\n             "; // under precision="

} // namespace

std::uint64_t write_scan(OutputFile& out, const Scan& scan) {
    if (scan.layout == Layout::readw)
        return write_readw_scan(out, scan);
    if (scan.layout == Layout::msconvert)
        return write_msconvert_scan(out, scan);
    const bool single = scan.precision == 32;
    const bool converter = scan.layout == Layout::converter;
    const PeakList& peaks = scan.peaks;
    const Separator next{converter ? SCAN_INDENT : " "};

    out.write("    ");
    const std::uint64_t offset = out.position();
    // Compact: the whole start tag on one line, so a reader that takes lines
    // in pieces of a bounded length still sees every attribute whole.
    // Converter: one attribute a line, in the order ReAdW and msconvert use.
    out.write("<scan num=\"");
    write_uint(out, scan.num);
    out.write("\"");
    next.write(out);
    out.write("msLevel=\"");
    write_uint(out, static_cast<std::uint64_t>(scan.level));
    out.write("\"");
    next.write(out);
    out.write("peaksCount=\"");
    write_uint(out, peaks.mz.size());
    out.write("\"");
    next.write(out);
    out.write("polarity=\"+\"");
    next.write(out);
    if (converter) {
        out.write("scanType=\"Full\"");
        next.write(out);
    }
    out.write("retentionTime=\"");
    write_seconds(out, scan.retention_ms);
    out.write("\"");
    if (scan.precursor) {
        next.write(out);
        out.write("collisionEnergy=\"35\"");
    }
    next.write(out);
    out.write("lowMz=\"");
    write_value(out, peaks.low_mz, single);
    out.write("\"");
    next.write(out);
    out.write("highMz=\"");
    write_value(out, peaks.high_mz, single);
    out.write("\"");
    next.write(out);
    out.write("basePeakMz=\"");
    write_value(out, peaks.base_peak_mz, single);
    out.write("\"");
    next.write(out);
    out.write("basePeakIntensity=\"");
    write_value(out, peaks.base_peak_intensity, single);
    out.write("\"");
    next.write(out);
    out.write("totIonCurrent=\"");
    write_value(out, peaks.tot_ion_current, single);
    out.write("\">\n");

    if (scan.precursor) {
        out.write("      <precursorMz precursorIntensity=\"");
        write_value(out, scan.precursor->intensity, single);
        if (scan.precursor->charge != 0) {
            out.write("\" precursorCharge=\"");
            write_uint(out, static_cast<std::uint64_t>(scan.precursor->charge));
        }
        out.write("\">");
        write_value(out, scan.precursor->mz, single);
        out.write("</precursorMz>\n");
    }

    const Separator inside{converter ? PEAKS_INDENT : " "};
    out.write(single ? "      <peaks precision=\"32\"" : "      <peaks precision=\"64\"");
    inside.write(out);
    out.write("byteOrder=\"network\"");
    inside.write(out);
    if (scan.mzxml3) {
        out.write("contentType=\"m/z-int\"");
        inside.write(out);
        out.write(scan.compressed_length ? "compressionType=\"zlib\"" : "compressionType=\"none\"");
        inside.write(out);
        out.write("compressedLen=\"");
        write_uint(out, scan.compressed_length.value_or(0));
        out.write("\">");
    } else {
        out.write("pairOrder=\"m/z-int\">");
    }
    out.write(scan.encoded_peaks);
    out.write("</peaks>\n    </scan>\n");
    return offset;
}

} // namespace mkmzxml
