#include "scan_element.h"

#include "number_text.h"

namespace mkmzxml {

std::uint64_t write_scan(OutputFile& out, const Scan& scan) {
    const bool single = scan.precision == 32;
    const PeakList& peaks = scan.peaks;

    out.write("    ");
    const std::uint64_t offset = out.position();
    // The whole start tag on one line: a reader that takes lines in pieces
    // of a bounded length still sees every attribute whole.
    out.write("<scan num=\"");
    write_uint(out, scan.num);
    out.write("\" msLevel=\"");
    write_uint(out, static_cast<std::uint64_t>(scan.level));
    out.write("\" peaksCount=\"");
    write_uint(out, peaks.mz.size());
    out.write("\" polarity=\"+\" retentionTime=\"");
    write_seconds(out, scan.retention_ms);
    if (scan.precursor)
        out.write("\" collisionEnergy=\"35");
    out.write("\" lowMz=\"");
    write_value(out, peaks.low_mz, single);
    out.write("\" highMz=\"");
    write_value(out, peaks.high_mz, single);
    out.write("\" basePeakMz=\"");
    write_value(out, peaks.base_peak_mz, single);
    out.write("\" basePeakIntensity=\"");
    write_value(out, peaks.base_peak_intensity, single);
    out.write("\" totIonCurrent=\"");
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

    out.write(single ? "      <peaks precision=\"32\"" : "      <peaks precision=\"64\"");
    if (scan.compressed_length) {
        out.write(" byteOrder=\"network\" contentType=\"m/z-int\" compressionType=\"zlib\""
                  " compressedLen=\"");
        write_uint(out, *scan.compressed_length);
        out.write("\">");
    } else {
        out.write(" byteOrder=\"network\" pairOrder=\"m/z-int\">");
    }
    out.write(scan.encoded_peaks);
    out.write("</peaks>\n    </scan>\n");
    return offset;
}

} // namespace mkmzxml
