#include "mzxml_document.h"

#include "peak_encoding.h"
#include "peak_list.h"
#include "random.h"
#include "scan_element.h"
#include "sha1_text.h"
#include "xml_numbers.h"

#include <optional>
#include <string>
#include <vector>

namespace mkmzxml {

namespace {

constexpr const char* NAMESPACE = "http://sashimi.sourceforge.net/schema_revision/mzXML_2.1";
constexpr const char* NAMESPACE_3 = "http://sashimi.sourceforge.net/schema_revision/mzXML_3.2";

void write_header(const Options& options, const RunPlan& plan, OutputFile& out) {
    const char* space = options.mzxml3 ? NAMESPACE_3 : NAMESPACE;
    out.write("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<mzXML xmlns=\"");
    out.write(space);
    out.write("\"\n       xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
              "       xsi:schemaLocation=\"");
    out.write(space);
    out.write(" ");
    out.write(space);
    out.write(options.mzxml3 ? "/mzXML_idx_3.2.xsd\">\n  <msRun scanCount=\""
                             : "/mzXML_idx_2.1.xsd\">\n  <msRun scanCount=\"");
    write_uint(out, options.declared_scans.value_or(plan.scans));
    out.write("\" startTime=\"");
    write_seconds(out, plan.start_ms);
    out.write("\" endTime=\"");
    write_seconds(out, plan.end_ms);
    out.write("\">\n");

    // The run was never acquired: the parent file is a name that tells the
    // seed, and its checksum is that of the name.
    const std::string parent =
        "file:///synthetic/orvo-mkmzxml-seed-" + std::to_string(options.seed) + ".raw";
    out.write("    <parentFile fileName=\"" + parent + "\" fileType=\"RAWData\" fileSha1=\"" +
              sha1_hex(parent) + "\"/>\n");
    // msconvert names its instrument, and each scan refers to it by that id.
    out.write(options.layout == Layout::msconvert ? "    <msInstrument msInstrumentID=\"1\">\n"
                                                  : "    <msInstrument>\n");
    out.write("      <msManufacturer category=\"msManufacturer\" value=\"Orvo Instruments\"/>\n"
              "      <msModel category=\"msModel\" value=\"Synthetic Trap\"/>\n"
              "      <msIonisation category=\"msIonisation\" value=\"ESI\"/>\n"
              "      <msMassAnalyzer category=\"msMassAnalyzer\" value=\"Ion Trap\"/>\n"
              "      <msDetector category=\"msDetector\" value=\"Electron Multiplier\"/>\n"
              "      <software type=\"acquisition\" name=\"orvo-mkmzxml\" version=\"1.0\"/>\n"
              "      <operator first=\"Synthetic\" last=\"Data\"/>\n"
              "    </msInstrument>\n");
    // A fixed completion time keeps the output the same from run to run.
    out.write(options.centroided ? "    <dataProcessing centroided=\"1\">\n"
                                 : "    <dataProcessing centroided=\"0\">\n");
    out.write("      <software type=\"conversion\" name=\"orvo-mkmzxml\" version=\"1.0\""
              " completionTime=\"2026-01-02T03:04:05Z\"/>\n"
              "    </dataProcessing>\n");
}

// Draws and writes every scan; returns the offset of each "<scan".
std::vector<std::uint64_t> write_scans(const Options& options, const RunPlan& plan,
                                       OutputFile& out) {
    const bool single = options.precision == 32;
    Random random(options.seed);
    ScanClock clock(options.seed);
    PeakList survey;
    PeakList fragments;
    std::vector<unsigned char> bytes;
    std::string text;
    std::vector<std::uint64_t> offsets;
    offsets.reserve(plan.scans);
    std::uint32_t survey_num = 0;

    for (std::uint32_t num = 1; num <= plan.scans; ++num) {
        const int level = scan_level(num, options.ms1_every);
        const std::uint64_t at = clock.advance(level);
        std::optional<Precursor> precursor;
        if (level == 1) {
            const double scale = 1e5 * (1 + 99 * random.uniform());
            make_peaks(random, options.ms1_peaks, 100, 2000, scale, single, survey);
        } else {
            precursor = pick_precursor(random, survey);
            // Fragments of an ion of charge z reach up to its mass; an
            // unknown charge is taken as 2.
            const double top = precursor->mz * (precursor->charge != 0 ? precursor->charge : 2);
            make_peaks(random, options.ms2_peaks, 100, top, precursor->intensity / 2, single,
                       fragments);
        }
        if (level == 1)
            survey_num = options.first_num + (num - 1);
        const PeakList& peaks = level == 1 ? survey : fragments;
        const std::size_t packed =
            encode_peaks(peaks, options.precision, options.mzxml3 && options.zlib, bytes, text);
        std::optional<std::size_t> compressed;
        if (options.mzxml3 && options.zlib)
            compressed = packed;
        offsets.push_back(
            write_scan(out, {options.first_num + (num - 1), level, at, peaks, precursor, survey_num,
                             options.centroided, options.precision, text, options.mzxml3,
                             compressed, options.layout}));
    }
    return offsets;
}

// Index ids are the scans' numbers, as converters write them.
void write_index(const std::vector<std::uint64_t>& offsets, std::uint32_t first_num,
                 OutputFile& out) {
    out.write("  ");
    const std::uint64_t index_at = out.position();
    out.write("<index name=\"scan\">\n");
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        out.write("    <offset id=\"");
        write_uint(out, first_num + i);
        out.write("\">");
        write_uint(out, offsets[i]);
        out.write("</offset>\n");
    }
    out.write("  </index>\n  <indexOffset>");
    write_uint(out, index_at);
    out.write("</indexOffset>\n");
}

} // namespace

void write_document(const Options& options, const RunPlan& plan, OutputFile& out) {
    write_header(options, plan, out);
    const std::vector<std::uint64_t> offsets = write_scans(options, plan, out);
    out.write("  </msRun>\n");
    if (options.index)
        write_index(offsets, options.first_num, out);
    else
        out.write("  <indexOffset>0</indexOffset>\n");
    if (options.sha1) {
        // The checksum covers the file up to and including its own start tag.
        out.write("  <sha1>");
        out.write(out.finish_digest());
        out.write("</sha1>\n");
    }
    out.write("</mzXML>\n");
}

} // namespace mkmzxml
