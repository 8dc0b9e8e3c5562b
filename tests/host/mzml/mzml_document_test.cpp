// A document written from a small run made here, read as text: every index
// offset at its start tag, the index list's offset, the checksum over its
// bytes, the references between spectra; then held against the run by the
// read-back, which must pass it untouched and name each kind of damage.
#include <host/mzml/mzml_document.h>
#include <host/mzml/mzml_error.h>
#include <host/mzml/verify.h>

#include "support/sha1_hex.h"

#include <gtest/gtest.h>

#include <fmt/format.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace orvohost::mzml;
using orvoeng::Peak;
using orvoeng::ScanRecord;

struct SampleRun {
    std::vector<ScanRecord> scans;
    std::vector<std::vector<Peak>> peaks;
    std::vector<std::int32_t> kinds; // peak_kind of each spectrum
    orvohost::ScanTags tags;         // what the scans' start tags state
};

ScanRecord scan(std::uint32_t label, std::int16_t level, std::int32_t polarity, double rt) {
    ScanRecord record;
    record.label = label;
    record.file_position = label;
    record.retention_time = rt;
    record.scan_type = orvoeng::ScanType(0, polarity, level);
    return record;
}

// Two MS1 scans, each with MS2 scans picked from it, and an MS3 scan: 32-
// and 64-bit values, an empty spectrum, unknown polarity and charge, a
// profile spectrum, a file without a total ion current.
SampleRun sample_run() {
    SampleRun run;
    ScanRecord s1 = scan(1, 1, 0, 1.5);
    s1.total_ion_current = 1000;
    run.scans.push_back(s1);
    // Out of m/z order, two equal intensities: the base peak is the lower m/z.
    run.peaks.push_back({{200.25, 30.0}, {100.5, 10.0}, {150.125, 30.0}});
    run.kinds.push_back(0);

    ScanRecord s2 = scan(2, 2, 0, 2.25);
    s2.parent_label = 1;
    s2.precursor_mz = 150.125;
    s2.precursor_charge = 2;
    run.scans.push_back(s2);
    run.peaks.push_back({{0.1, 1.0 / 3}, {123.456789012345, 2.5}}); // not 32-bit floats
    run.kinds.push_back(0);

    ScanRecord s3 = scan(3, 2, 1, 3.0);
    s3.parent_label = 1;
    s3.precursor_mz = 200.25;
    run.scans.push_back(s3);
    run.peaks.push_back({});
    run.kinds.push_back(0);

    ScanRecord s4 = scan(4, 1, -1, 4.75);
    s4.total_ion_current = 77;
    run.scans.push_back(s4);
    run.peaks.push_back({{300.0, 5.0}, {300.5, 7.0}, {301.0, 5.0}});
    run.kinds.push_back(3);

    // The plug-in gives no parent or precursor past MS2: its tags do.
    ScanRecord s5 = scan(5, 3, 0, 5.0);
    run.scans.push_back(s5);
    run.peaks.push_back({{400.0, 1.0}});
    run.kinds.push_back(0);

    std::vector<orvohost::ScanTagValues> tags(5);
    tags[1].precursor_intensity = 5000;
    tags[1].collision_energy = 35;
    tags[1].filter_line = "ITMS + c ms2 150.13@cid35.00 & x";
    tags[2].precursor_intensity = 0; // none
    tags[2].activation_method = "ETD";
    tags[4].precursor_mz = 175.5;
    tags[4].precursor_charge = 3;
    tags[4].activation_method = "HCD";
    run.tags = orvohost::ScanTags(std::move(tags));
    return run;
}

PAL::SmartPtr<orvoeng::Spectrum> spectrum_of(const SampleRun& run, std::size_t position) {
    PAL::SmartPtr<orvoeng::Spectrum> spectrum(new orvoeng::Spectrum());
    *spectrum->peaks = run.peaks[position];
    spectrum->peak_kind = run.kinds[position];
    return spectrum;
}

// The document's text; spectra formatted on threads of their own in
// reverse order and handed on in pieces of one and two, as the pipeline
// may hand them.
std::string write(const SampleRun& run, const SpectrumSelection& selection,
                  const ArrayOptions& arrays = {}) {
    std::string document;
    MzmlDocument writer([&document](std::string_view text) { document += text; }, selection, arrays,
                        false);
    RunHead head;
    head.source = "/data/run one&two.mzXML";
    head.source_sha1 = std::string(40, 'a');
    head.has_ms1 = selection.has_ms1();
    head.has_msn = selection.has_msn();
    head.spectrum_count = selection.size();
    writer.write_head(head);
    std::vector<std::string> texts(selection.size());
    {
        std::vector<std::jthread> threads;
        for (std::size_t i = selection.size(); i-- > 0;)
            threads.emplace_back([&, i] {
                const auto position =
                    static_cast<std::size_t>(&selection.scan(i) - run.scans.data());
                writer.format_spectrum(texts[i], i, *spectrum_of(run, position));
            });
    }
    for (std::size_t i = 0; i < texts.size(); i += 2)
        writer.write_spectra(i + 1 < texts.size() ? texts[i] + texts[i + 1] : texts[i]);
    writer.write_tail();
    EXPECT_EQ(writer.size(), document.size());
    return document;
}

using fixture::sha1_hex;

// The text of the spectrum whose id is `id`.
std::string spectrum_text(const std::string& document, const std::string& id) {
    const auto start = document.find(fmt::format("id=\"{}\" defaultArrayLength", id));
    const auto end = document.find("</spectrum>", start);
    EXPECT_NE(start, std::string::npos) << id;
    return start == std::string::npos ? "" : document.substr(start, end - start);
}

bool has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

void check_index_and_checksum(const std::string& document, std::size_t spectra) {
    const std::regex offset_line(R"re(<offset idRef="([^"]+)">(\d+)</offset>)re");
    std::size_t entries = 0;
    for (auto it = std::sregex_iterator(document.begin(), document.end(), offset_line);
         it != std::sregex_iterator(); ++it) {
        const std::string id = (*it)[1];
        const std::size_t at = std::stoull((*it)[2]);
        const bool chromatogram = id == TIC_CHROMATOGRAM_ID;
        const std::string expected =
            chromatogram ? "<chromatogram index=\"0\" id=\"TIC\""
                         : fmt::format("<spectrum index=\"{}\" id=\"{}\"", entries, id);
        EXPECT_EQ(document.compare(at, expected.size(), expected), 0)
            << id << " at " << at << ": " << document.substr(at, 60);
        entries += chromatogram ? 0 : 1;
    }
    EXPECT_EQ(entries, spectra);
    std::smatch found;
    ASSERT_TRUE(std::regex_search(document, found,
                                  std::regex(R"(<indexListOffset>(\d+)</indexListOffset>)")));
    EXPECT_EQ(document.compare(std::stoull(found[1]), 11, "<indexList "), 0);
    const std::string tag = "<fileChecksum>";
    const auto end = document.find(tag) + tag.size();
    EXPECT_EQ(document.substr(end, 40), sha1_hex(std::string_view(document).substr(0, end)));
    EXPECT_TRUE(document.ends_with("</fileChecksum>\n</indexedmzML>\n"));
}

class TempFile {
public:
    explicit TempFile(const std::string& text) {
        static int count = 0;
        path = std::filesystem::temp_directory_path() /
               fmt::format("orvo-mzml-test-{}-{}.mzML", ::getpid(), ++count);
        std::ofstream(path, std::ios::binary) << text;
    }
    ~TempFile() { std::filesystem::remove(path); }
    std::filesystem::path path;
};

std::size_t verified(const std::string& document, const SampleRun& run,
                     const SpectrumSelection& selection) {
    const TempFile file(document);
    const VerifySource source{
        selection,
        [&](std::size_t index) {
            return spectrum_of(run,
                               static_cast<std::size_t>(&selection.scan(index) - run.scans.data()));
        },
        false};
    return verify_mzml(file.path, source);
}

TEST(MzmlDocument, IndexOffsetsAndChecksumHoldForTheBytesWritten) {
    const SampleRun run = sample_run();
    const SpectrumSelection all(
        run.scans, [](const ScanRecord&) { return true; }, {}, run.tags);
    for (const bool zlib : {false, true}) {
        SCOPED_TRACE(zlib ? "zlib" : "plain");
        ArrayOptions arrays;
        arrays.zlib = zlib;
        const std::string document = write(run, all, arrays);
        check_index_and_checksum(document, run.scans.size());
        EXPECT_TRUE(has(document, "<indexList count=\"2\">"));
        EXPECT_EQ(verified(document, run, all), run.scans.size());
    }
}

TEST(MzmlDocument, SpectraStateWhatTheirScansAndPeaksGive) {
    const SampleRun run = sample_run();
    const SpectrumSelection all(
        run.scans, [](const ScanRecord&) { return true; }, {}, run.tags);
    const std::string document = write(run, all);
    struct Case {
        const char* id;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    } cases[] = {
        {"scan=1",
         {R"(name="MS1 spectrum")", R"(name="positive scan")", R"(name="centroid spectrum")",
          R"(name="total ion current" value="1000")", R"(name="base peak m/z" value="150.125")",
          R"(name="base peak intensity" value="30")", R"(name="lowest observed m/z" value="100.5")",
          R"(name="highest observed m/z" value="200.25")",
          R"(name="scan start time" value="1.5" unitCvRef="UO" unitAccession="UO:0000010")",
          R"(name="32-bit float")"},
         {"precursorList", "64-bit float"}},
        {"scan=2",
         {R"(name="MSn spectrum")", R"(<precursor spectrumRef="scan=1">)",
          R"(name="selected ion m/z" value="150.125" unitCvRef="MS" unitAccession="MS:1000040")",
          R"(name="charge state" value="2")", R"(name="64-bit float")",
          // No total ion current in the file: the sum of the peaks.
          R"(name="total ion current" value="2.8333333333333335")",
          R"(name="peak intensity" value="5000" unitCvRef="MS" unitAccession="MS:1000131")",
          R"(name="collision energy" value="35" unitCvRef="UO" unitAccession="UO:0000266")",
          // No method named: what converters write then.
          R"(accession="MS:1000133" name="collision-induced dissociation")",
          R"(name="filter string" value="ITMS + c ms2 150.13@cid35.00 &amp; x")"},
         {"32-bit float"}},
        {"scan=3",
         {R"(defaultArrayLength="0")", R"(name="negative scan")", R"(encodedLength="0")",
          R"(accession="MS:1000598" name="electron transfer dissociation")"},
         {"base peak", "charge state", "positive scan", R"(name="peak intensity")",
          "collision energy", "collision-induced", "filter string"}},
        {"scan=4",
         {R"(name="profile spectrum")", R"(name="total ion current" value="77")"},
         {"positive scan", "negative scan", "centroid spectrum"}},
        {"scan=5",
         {R"(<precursor spectrumRef="scan=3">)", R"(name="ms level" value="3")",
          R"(name="selected ion m/z" value="175.5")", R"(name="charge state" value="3")",
          R"(accession="MS:1000422" name="beam-type collision-induced dissociation")"},
         {R"(name="peak intensity")", "collision energy"}},
    };
    for (const auto& c : cases) {
        const std::string text = spectrum_text(document, c.id);
        for (const auto& piece : c.present)
            EXPECT_TRUE(has(text, piece)) << c.id << " lacks " << piece;
        for (const auto& piece : c.absent)
            EXPECT_FALSE(has(text, piece)) << c.id << " has " << piece;
    }
    // The file holds what its spectra are, and its source's name escaped.
    EXPECT_TRUE(has(document, R"(name="MS1 spectrum" value=""/>
        <cvParam cvRef="MS" accession="MS:1000580")"));
    EXPECT_TRUE(has(document, R"(name="run one&amp;two.mzXML" location="file:///data")"));
    EXPECT_TRUE(has(document, R"(<run id="run_one_two")"));
    // The chromatogram: the MS1 spectra's total ion currents.
    EXPECT_TRUE(has(document, R"(<chromatogram index="0" id="TIC" defaultArrayLength="2">)"));
}

TEST(MzmlDocument, ParentsLeftOutAreNamedInTheSourceFile) {
    const SampleRun run = sample_run();
    const SpectrumSelection ms2(run.scans,
                                [](const ScanRecord& s) { return s.scan_type.ms_level == 2; });
    const std::string document = write(run, ms2);
    EXPECT_TRUE(has(spectrum_text(document, "scan=2"),
                    R"(<precursor sourceFileRef="SF1" externalSpectrumID="scan=1">)"));
    EXPECT_FALSE(has(document, "spectrumRef"));
    EXPECT_FALSE(has(document, "MS1 spectrum"));
    // Without MS1 spectra, the chromatogram goes through every spectrum.
    EXPECT_TRUE(has(document, R"(id="TIC" defaultArrayLength="2")"));
    check_index_and_checksum(document, 2);
    EXPECT_EQ(verified(document, run, ms2), 2U);

    // An MS3 spectrum's parent is the MS2 scan before it, written or not.
    const SpectrumSelection deep(
        run.scans, [](const ScanRecord& s) { return s.scan_type.ms_level != 2; }, {}, run.tags);
    const std::string without_ms2 = write(run, deep);
    EXPECT_TRUE(has(spectrum_text(without_ms2, "scan=5"),
                    R"(<precursor sourceFileRef="SF1" externalSpectrumID="scan=3">)"));
    EXPECT_EQ(verified(without_ms2, run, deep), 3U);
}

TEST(MzmlDocument, WithoutSpectraOnlyTheChromatogramIsIndexed) {
    const SampleRun run = sample_run();
    const SpectrumSelection none(run.scans, [](const ScanRecord&) { return false; });
    const std::string document = write(run, none);
    EXPECT_TRUE(has(document, R"(<spectrumList count="0")"));
    EXPECT_TRUE(has(document, R"(<indexList count="1">)"));
    EXPECT_FALSE(has(document, R"(<index name="spectrum">)"));
    EXPECT_TRUE(has(document, R"(id="TIC" defaultArrayLength="0")"));
    check_index_and_checksum(document, 0);
    EXPECT_EQ(verified(document, run, none), 0U);
}

TEST(MzmlDocument, ReadBackNamesWhatDiffers) {
    const SampleRun run = sample_run();
    const SpectrumSelection all(
        run.scans, [](const ScanRecord&) { return true; }, {}, run.tags);
    const std::string document = write(run, all);

    // Each damage keeps the length, so that only what it names is wrong.
    const auto replace_after = [](std::string text, const std::string& anchor,
                                  const std::string& from, const std::string& to) {
        const auto at = text.find(from, text.find(anchor));
        EXPECT_NE(at, std::string::npos) << from;
        EXPECT_EQ(from.size(), to.size());
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    const auto offset_of = [&document](const std::string& id) {
        std::smatch m;
        std::regex_search(document, m, std::regex("idRef=\"" + id + "\">(\\d+)<"));
        return m[1].str();
    };
    const std::string checksum_at = "<fileChecksum>";
    const std::string digest = document.substr(document.find(checksum_at) + checksum_at.size(), 40);
    const std::string list_at = std::to_string(document.find("<indexList "));
    const std::string moved_list = std::to_string(document.find("<indexList ") - 1);
    struct Case {
        const char* name;
        std::string damaged;
        const char* named;
    } cases[] = {
        {"a peak's bits", replace_after(document, "id=\"scan=2\"", "<binary>mpmZ", "<binary>mpmY"),
         "spectrum 1 (scan=2) holds 0.09999999999909051 at position 0 of its m/z array"},
        {"a header value",
         replace_after(document, "id=\"scan=1\"", "value=\"1000\"", "value=\"1001\""),
         "total ion current 1001"},
        {"the level", replace_after(document, "id=\"scan=2\"", "value=\"2\"", "value=\"3\""),
         "ms level"},
        {"the precursor's parent",
         replace_after(document, "id=\"scan=2\"", "spectrumRef=\"scan=1\"",
                       "spectrumRef=\"scan=4\""),
         "refers to the precursor spectrum 'scan=4'"},
        {"the precursor's intensity",
         replace_after(document, "id=\"scan=2\"", "value=\"5000\"", "value=\"5001\""),
         "peak intensity 5001"},
        {"the filter string", replace_after(document, "id=\"scan=2\"", "cid35.00", "cid36.00"),
         "states the filter string 'ITMS + c ms2 150.13@cid36.00 & x'"},
        {"the dissociation method",
         replace_after(document, "id=\"scan=2\"", "MS:1000133", "MS:1000134"),
         "lacks collision-induced dissociation"},
        {"an MS3 parent",
         replace_after(document, "id=\"scan=5\"", "spectrumRef=\"scan=3\"",
                       "spectrumRef=\"scan=2\""),
         "refers to the precursor spectrum 'scan=2' where 'scan=3' is due"},
        {"an id",
         replace_after(document, "<spectrum index=\"2\"", "id=\"scan=3\"", "id=\"scan=9\""),
         "has the id 'scan=9'"},
        {"an encoded length",
         replace_after(document, "id=\"scan=1\"", "encodedLength=\"16\"", "encodedLength=\"17\""),
         "encodedLength"},
        {"an index offset",
         replace_after(document, "<indexList", offset_of("scan=3") + "<",
                       std::to_string(std::stoull(offset_of("scan=3")) + 1) + "<"),
         "as the offset of scan=3"},
        {"the index list's offset",
         replace_after(document, "</indexList>", ">" + list_at + "<", ">" + moved_list + "<"),
         "states its index list at"},
        {"the checksum",
         replace_after(document, checksum_at, digest,
                       std::string(40, digest[0] == '0' ? '1' : '0')),
         "states the checksum"},
        {"a byte the checksum covers",
         replace_after(document, "<mzML", "version=\"1.1.0\"", "version=\"1.1.1\""),
         "states the checksum"},
        {"a cut file", document.substr(0, document.size() / 2), "is not well-formed XML"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.damaged, document);
        try {
            verified(c.damaged, run, all);
            ADD_FAILURE() << "passed";
        } catch (const MzmlVerifyError& error) {
            EXPECT_TRUE(has(error.what(), c.named)) << error.what();
            EXPECT_TRUE(has(error.what(), "orvo-mzml-test-")) << "the file is not named";
        }
    }
}

} // namespace
