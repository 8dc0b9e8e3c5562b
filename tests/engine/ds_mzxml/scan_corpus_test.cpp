// Real mzXML files written by other programs, read as the corpus notes expect.
#include "scan_reader.h"
#include "support/recording_listener.h"
#include "text_number.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

enum Outcome { WALK_OK, WALK_FAILS /* scan 1 names another num */, REFUSED };

const struct CorpusFile {
    const char* name;
    Outcome outcome;
    std::uint32_t open_state;
} corpus[] = {
    {"readmzxmldata__A1-0_A1.mzXML", WALK_OK, 0},
    {"msnbase__dummyiTRAQ.mzXML", WALK_OK, 0},
    {"pwiz__tiny.pwiz.mzXML", WALK_FAILS, 0},
    {"pwiz-examples__tiny.pwiz.mzXML", WALK_FAILS, 0},
    {"pyteomics__test.mzXML", REFUSED, 2},
    {"mzxmljl__test96.mzXML", REFUSED, 2},
    {"openms__FileInfo_4_input.mzXML", WALK_OK, 0},
    {"openms__OpenSwathWorkflow_2_input.mzXML", WALK_OK, 0},
    {"openms__InspectOutfile_test_1.mzXML", WALK_OK, 0},
    {"openms__InspectOutfile_test_2.mzXML", WALK_OK, 0},
    {"openms__MzXMLFile_1.mzXML", WALK_FAILS, 0},
    {"openms__MzXMLFile_2_minimal.mzXML", REFUSED, 0},
    {"openms__MzXMLFile_3_64bit.mzXML", REFUSED, 2},
    {"openms-2008__Tutorial_FileIO.mzXML", WALK_OK, 0},
    {"openms-pyopenms__test.mzXML", WALK_OK, 0},
    {"openms-pyopenms__test1.mzXML", REFUSED, 2},
    {"openms-pyopenms__test2.mzXML", WALK_FAILS, 0},
    {"maldiquantforeign__tiny1.mzXML3.0.mzXML", REFUSED, 1},
    {"mzxmljl__test64.mzXML", REFUSED, 1},
};

#define SKIP_WITHOUT_CORPUS()                                                                      \
    if (fixture::corpus_dir().empty())                                                             \
    GTEST_SKIP() << "corpus folder absent (set ORVO_CORPUS_DIR): real files not checked"

std::string bytes_of(const char* name) {
    std::ifstream in(fixture::corpus_dir() / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

// The header as the reader first read it: line by line from the scan's
// offset, unbounded, retention times with "PT%lfS".
bool line_by_line_header(MzXMLReader& reader, std::uint32_t n, ScanHeader& h) {
    reader.file.seek(reader.offsets[n - 1], PAL::File::BEGIN);
    h = ScanHeader();
    std::string line, value;
    bool polarity_met = false, centroided_met = false;
    for (bool more = reader.read_line(line); more; more = reader.read_line(line)) {
        if (find_attribute(line, "num", value) && text_to_int32(value) != static_cast<int>(n))
            return false;
        if (find_attribute(line, "msLevel", value))
            h.msLevel = text_to_int32(value);
        if (find_attribute(line, "polarity", value) && (polarity_met = true))
            h.polarity = value == "+" ? 0 : value == "-" ? 1 : h.polarity;
        if (!centroided_met && find_attribute(line, "centroided", value) && (centroided_met = true))
            h.centroided = is_true_value(value);
        if (find_attribute(line, "retentionTime", value))
            std::sscanf(value.c_str(), "PT%lfS", &h.retentionTime);
        if (find_attribute(line, "totIonCurrent", value))
            h.totalIonCurrent = text_to_double(value);
        if (contains(line, "<precursorMz")) {
            std::string element = line;
            while (!contains(line, "</precursorMz>") && reader.read_line(line))
                element += line;
            if (find_element_text(element, "precursorMz", value))
                h.precursorMz = text_to_double(value);
            if (find_attribute(element, "precursorCharge", value))
                h.precursorCharge = text_to_int32(value);
        }
        if (contains(line, "<peaks"))
            break;
    }
    if (!polarity_met)
        h.polarity = 0;
    return true;
}

class Corpus : public ::testing::TestWithParam<CorpusFile> {};

TEST_P(Corpus, OpensHeadersAndPeaksAsExpected) {
    SKIP_WITHOUT_CORPUS();
    const CorpusFile& c = GetParam();
    MzXMLReader reader;
    fixture::RecordingSocket events;
    const bool opened =
        reader.open((fixture::corpus_dir() / c.name).wstring(), false, events.socket, {});
    EXPECT_EQ(reader.open_state, c.open_state);
    ASSERT_EQ(opened, c.outcome != REFUSED);
    if (!opened)
        return;

    const std::string bytes = bytes_of(c.name);
    for (std::uint32_t n = 1; n <= reader.scanCount; ++n) {
        // Headers: the same values as the line-by-line reading of the past.
        ScanHeader bounded, lines;
        const bool read = reader.read_scan_header(n, bounded);
        EXPECT_EQ(read, c.outcome == WALK_OK) << n;
        ASSERT_EQ(read, line_by_line_header(reader, n, lines)) << n;
        EXPECT_TRUE(!read ||
                    (bounded.msLevel == lines.msLevel && bounded.polarity == lines.polarity &&
                     bounded.retentionTime == lines.retentionTime &&
                     bounded.precursorMz == lines.precursorMz &&
                     bounded.precursorCharge == lines.precursorCharge &&
                     bounded.totalIonCurrent == lines.totalIonCurrent &&
                     bounded.centroided == lines.centroided))
            << "scan " << n;

        // Peaks: as many as the scan's start tag declares.
        bool centroided = false;
        std::vector<double> mz, intensity;
        EXPECT_TRUE(reader.read_peaks(n, centroided, mz, intensity, events.socket)) << n;
        const std::size_t at =
            bytes.find("peaksCount=\"", static_cast<std::size_t>(reader.offsets[n - 1]));
        EXPECT_EQ(mz.size(), static_cast<std::size_t>(text_to_int32(bytes.substr(at + 12, 12))))
            << n;
    }
    EXPECT_EQ(events.listener.count(0xCC0236B3) + events.listener.count(0xCC0236B4), 0u);
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, ::testing::ValuesIn(corpus), [](const auto& info) {
    std::string name = info.param.name;
    for (char& ch : name)
        ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
});

TEST(CorpusValues, AsTheNotesSay) {
    SKIP_WITHOUT_CORPUS();
    const auto headers = [](MzXMLReader& reader) {
        std::vector<ScanHeader> all(reader.scanCount);
        for (std::uint32_t n = 1; n <= reader.scanCount; ++n)
            EXPECT_TRUE(reader.read_scan_header(n, all[n - 1]));
        return all;
    };
    const auto open = [](MzXMLReader& reader, const char* name) {
        return reader.open((fixture::corpus_dir() / name).wstring(), false, {}, {});
    };
    MzXMLReader inspect1, inspect2, pyopenms, a1, info;
    ASSERT_TRUE(open(inspect1, "openms__InspectOutfile_test_1.mzXML"));
    for (const ScanHeader& h : headers(inspect1))
        EXPECT_DOUBLE_EQ(h.retentionTime, -1.0); // "PT-1S"
    ASSERT_TRUE(open(inspect2, "openms__InspectOutfile_test_2.mzXML"));
    std::vector<int> polarities;
    for (const ScanHeader& h : headers(inspect2))
        polarities.push_back(h.polarity);
    EXPECT_EQ(polarities, (std::vector<int>{-1, 0, 1, 1}));
    ASSERT_TRUE(open(pyopenms, "openms-pyopenms__test.mzXML"));
    EXPECT_DOUBLE_EQ(headers(pyopenms)[0].retentionTime, 0.0); // "-PT1S"
    ASSERT_TRUE(open(a1, "readmzxmldata__A1-0_A1.mzXML"));
    EXPECT_EQ(std::unique_ptr<InstrumentRecord>(a1.read_instrument())->operator_name, "");
    ASSERT_TRUE(open(info, "openms__FileInfo_4_input.mzXML"));
    DataProcessingRecord processing;
    ASSERT_TRUE(info.read_data_processing(processing, {}));
    EXPECT_EQ(processing.completionTime, "2001-02-03T04:05:06");
    EXPECT_TRUE(info.centroid_info_complete({}));

    // One scan too many is declared, so it does not open; with the scans found
    // by search its durations read in full: PT1S, PT2M1S, PT1H61S.
    const std::string bytes = bytes_of("openms__MzXMLFile_3_64bit.mzXML");
    std::vector<std::int64_t> entries;
    for (auto at = bytes.find("<scan"); at != std::string::npos; at = bytes.find("<scan", at + 5))
        entries.push_back(static_cast<std::int64_t>(at));
    entries.push_back(static_cast<std::int64_t>(bytes.find("</msRun>")));
    fixture::MzXmlWriter copy;
    copy.text(bytes);
    fixture::ScanFile file(copy, entries);
    std::vector<double> seconds;
    for (const ScanHeader& h : headers(file.reader))
        seconds.push_back(h.retentionTime);
    EXPECT_EQ(seconds, (std::vector<double>{1, 121, 3661}));
}

} // namespace
