// Real mzXML files written by other programs: what the reader makes of each,
// as the corpus notes expect.
#include "scan_reader.h"
#include "support/recording_listener.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

enum class Outcome {
    WALK_OK,    // opens, every header and every peak list reads
    WALK_FAILS, // opens, but scan 1 names another number
    REFUSED,    // open fails with the given state
};

struct CorpusCase {
    const char* file;
    Outcome outcome;
    std::uint32_t open_state = 0;
};

const CorpusCase corpus[] = {
    {"readmzxmldata__A1-0_A1.mzXML", Outcome::WALK_OK},
    {"msnbase__dummyiTRAQ.mzXML", Outcome::WALK_OK},
    {"pwiz__tiny.pwiz.mzXML", Outcome::WALK_FAILS},
    {"pwiz-examples__tiny.pwiz.mzXML", Outcome::WALK_FAILS},
    {"pyteomics__test.mzXML", Outcome::REFUSED, 2},
    {"mzxmljl__test96.mzXML", Outcome::REFUSED, 2},
    {"openms__FileInfo_4_input.mzXML", Outcome::WALK_OK},
    {"openms__OpenSwathWorkflow_2_input.mzXML", Outcome::WALK_OK},
    {"openms__InspectOutfile_test_1.mzXML", Outcome::WALK_OK},
    {"openms__InspectOutfile_test_2.mzXML", Outcome::WALK_OK},
    {"openms__MzXMLFile_1.mzXML", Outcome::WALK_FAILS},
    {"openms__MzXMLFile_2_minimal.mzXML", Outcome::REFUSED, 0},
    {"openms__MzXMLFile_3_64bit.mzXML", Outcome::REFUSED, 2},
    {"openms-2008__Tutorial_FileIO.mzXML", Outcome::WALK_OK},
    {"openms-pyopenms__test.mzXML", Outcome::WALK_OK},
    {"openms-pyopenms__test1.mzXML", Outcome::REFUSED, 2},
    {"openms-pyopenms__test2.mzXML", Outcome::WALK_FAILS},
    {"maldiquantforeign__tiny1.mzXML3.0.mzXML", Outcome::REFUSED, 1},
    {"mzxmljl__test64.mzXML", Outcome::REFUSED, 1},
};

std::filesystem::path corpus_file(const char* name) {
    return fixture::corpus_dir() / name;
}

std::string bytes_of(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The peaksCount that scan `n` declares in its own start tag.
std::int32_t declared_peaks(const std::string& bytes, const MzXMLReader& reader, std::size_t n) {
    const auto from = static_cast<std::size_t>(reader.offsets[n - 1]);
    const auto to = static_cast<std::size_t>(reader.offsets[n]);
    const std::size_t at = bytes.find("peaksCount=\"", from);
    if (at == std::string::npos || at >= to)
        return 0;
    return std::stoi(bytes.substr(at + 12, 12));
}

#define SKIP_WITHOUT_CORPUS()                                                                      \
    do {                                                                                           \
        if (fixture::corpus_dir().empty())                                                         \
            GTEST_SKIP() << "corpus folder absent (set ORVO_CORPUS_DIR): real files not checked";  \
    } while (false)

class Corpus : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(Corpus, ReadsAsExpected) {
    SKIP_WITHOUT_CORPUS();
    const CorpusCase& c = GetParam();
    const auto path = corpus_file(c.file);
    ASSERT_TRUE(std::filesystem::exists(path)) << path;
    MzXMLReader reader;
    fixture::RecordingSocket events;
    const bool opened = reader.open(path.wstring(), false, events.socket, {});
    if (c.outcome == Outcome::REFUSED) {
        EXPECT_FALSE(opened);
        EXPECT_EQ(reader.open_state, c.open_state);
        return;
    }
    ASSERT_TRUE(opened) << "open_state " << reader.open_state;
    ASSERT_EQ(reader.offsets.size(), reader.scanCount + 1u);

    ScanHeader header;
    if (c.outcome == Outcome::WALK_FAILS) {
        EXPECT_FALSE(reader.read_scan_header(1, header));
    } else {
        for (std::uint32_t n = 1; n <= reader.scanCount; ++n) {
            ASSERT_TRUE(reader.read_scan_header(n, header)) << "scan " << n;
            EXPECT_GE(header.msLevel, 1) << "scan " << n;
        }
    }

    // Every scan's peaks decode, as many as it declares.
    const std::string bytes = bytes_of(path);
    for (std::uint32_t n = 1; n <= reader.scanCount; ++n) {
        bool centroided = false;
        std::vector<double> mz;
        std::vector<double> intensity;
        EXPECT_TRUE(reader.read_peaks(n, centroided, mz, intensity, events.socket)) << "scan " << n;
        EXPECT_EQ(mz.size(), static_cast<std::size_t>(declared_peaks(bytes, reader, n)))
            << "scan " << n;
        EXPECT_EQ(intensity.size(), mz.size());
    }
    EXPECT_EQ(events.listener.count(0xCC0236B3), 0u);
    EXPECT_EQ(events.listener.count(0xCC0236B4), 0u);

    DataProcessingRecord processing;
    reader.read_data_processing(processing, {});
    EXPECT_NE(std::unique_ptr<InstrumentRecord>(reader.read_instrument()), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, ::testing::ValuesIn(corpus), [](const auto& info) {
    std::string name = info.param.file;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name;
});

// ---- particular values ----------------------------------------------------------

struct Opened {
    explicit Opened(const char* name) {
        ok = reader.open(corpus_file(name).wstring(), false, {}, {});
    }
    MzXMLReader reader;
    bool ok = false;
};

std::vector<ScanHeader> all_headers(MzXMLReader& reader) {
    std::vector<ScanHeader> headers(reader.scanCount);
    for (std::uint32_t n = 1; n <= reader.scanCount; ++n)
        EXPECT_TRUE(reader.read_scan_header(n, headers[n - 1])) << n;
    return headers;
}

TEST(CorpusValues, RetentionTimesAndPolarities) {
    SKIP_WITHOUT_CORPUS();
    Opened inspect1("openms__InspectOutfile_test_1.mzXML");
    ASSERT_TRUE(inspect1.ok);
    for (const ScanHeader& h : all_headers(inspect1.reader))
        EXPECT_DOUBLE_EQ(h.retentionTime, -1.0); // "PT-1S"

    Opened inspect2("openms__InspectOutfile_test_2.mzXML");
    ASSERT_TRUE(inspect2.ok);
    const auto headers = all_headers(inspect2.reader);
    ASSERT_EQ(headers.size(), 4u);
    EXPECT_EQ(headers[0].polarity, -1); // "any"
    EXPECT_EQ(headers[1].polarity, 0);
    EXPECT_EQ(headers[2].polarity, 1);
    EXPECT_EQ(headers[3].polarity, 1);
    EXPECT_DOUBLE_EQ(headers[0].totalIonCurrent, 8.0);

    Opened pyopenms("openms-pyopenms__test.mzXML");
    ASSERT_TRUE(pyopenms.ok);
    const auto only = all_headers(pyopenms.reader);
    ASSERT_EQ(only.size(), 1u);
    EXPECT_DOUBLE_EQ(only[0].retentionTime, 0.0); // "-PT1S" is not read
}

// The file declares one scan too many, so it does not open; with the scans
// found by search, its durations read as full durations.
TEST(CorpusValues, FullDurationsOfMixedPrecisionFile) {
    SKIP_WITHOUT_CORPUS();
    const std::string bytes = bytes_of(corpus_file("openms__MzXMLFile_3_64bit.mzXML"));
    std::vector<std::int64_t> entries;
    for (std::size_t at = bytes.find("<scan"); at != std::string::npos;
         at = bytes.find("<scan", at + 5))
        entries.push_back(static_cast<std::int64_t>(at));
    entries.push_back(static_cast<std::int64_t>(bytes.find("</msRun>")));
    ASSERT_EQ(entries.size(), 4u);
    fixture::ScanFile file(bytes, entries);
    const auto headers = all_headers(file.reader);
    const double seconds[] = {1.0, 121.0, 3661.0};
    const int polarity[] = {-1, 0, 1};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(headers[i].retentionTime, seconds[i]) << i;
        EXPECT_EQ(headers[i].polarity, polarity[i]) << i;
        bool centroided = false;
        std::vector<double> mz;
        std::vector<double> intensity;
        EXPECT_TRUE(file.reader.read_peaks(static_cast<std::uint32_t>(i + 1), centroided, mz,
                                           intensity, {}));
        EXPECT_FALSE(mz.empty()) << i;
    }
}

TEST(CorpusValues, PeakCountsAndMetadata) {
    SKIP_WITHOUT_CORPUS();
    const auto peaks_of = [](MzXMLReader& reader, std::uint32_t n) {
        bool centroided = false;
        std::vector<double> mz;
        std::vector<double> intensity;
        EXPECT_TRUE(reader.read_peaks(n, centroided, mz, intensity, {}));
        return mz.size();
    };

    Opened a1("readmzxmldata__A1-0_A1.mzXML");
    ASSERT_TRUE(a1.ok);
    EXPECT_EQ(peaks_of(a1.reader, 1), 22431u);
    const std::unique_ptr<InstrumentRecord> a1_instrument(a1.reader.read_instrument());
    EXPECT_EQ(a1_instrument->operator_name, "") << "lower-case operator is not read";

    Opened itraq("msnbase__dummyiTRAQ.mzXML");
    ASSERT_TRUE(itraq.ok);
    std::size_t total = 0;
    for (std::uint32_t n = 1; n <= itraq.reader.scanCount; ++n)
        total += peaks_of(itraq.reader, n);
    EXPECT_EQ(total, 10493u);
    const auto headers = all_headers(itraq.reader);
    EXPECT_EQ(headers[0].precursorCharge, 3);
    EXPECT_DOUBLE_EQ(headers[0].precursorMz, 645.37414551);
    EXPECT_DOUBLE_EQ(headers[0].retentionTime, 1501.35);
    EXPECT_FALSE(itraq.reader.centroid_info_complete({}));

    Opened pwiz("pwiz__tiny.pwiz.mzXML");
    ASSERT_TRUE(pwiz.ok);
    EXPECT_EQ(peaks_of(pwiz.reader, 3), 0u) << "scan 21 is empty";

    Opened info("openms__FileInfo_4_input.mzXML");
    ASSERT_TRUE(info.ok);
    DataProcessingRecord processing;
    ASSERT_TRUE(info.reader.read_data_processing(processing, {}));
    EXPECT_TRUE(processing.centroided);
    EXPECT_EQ(processing.completionTime, "2001-02-03T04:05:06");
    EXPECT_TRUE(info.reader.centroid_info_complete({}));

    Opened tutorial("openms-2008__Tutorial_FileIO.mzXML");
    ASSERT_TRUE(tutorial.ok);
    const std::unique_ptr<InstrumentRecord> none(tutorial.reader.read_instrument());
    EXPECT_EQ(none->manufacturer, "");
    EXPECT_EQ(none->model, "");
}

} // namespace
