#include "scan_reader.h"
#include "support/recording_listener.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using fixture::MzXmlWriter;
using fixture::ReadRecorder;
using fixture::ScanFile;
using fixture::ScanSpec;

MzXmlWriter one_scan_file(const ScanSpec& spec) {
    MzXmlWriter writer;
    writer.begin(1).scan(spec).end_run().no_index();
    return writer;
}

// ---- header values ----------------------------------------------------------

struct HeaderCase {
    const char* name;
    std::function<void(ScanSpec&)> edit;
    std::function<void(const ScanHeader&)> check;
};

class HeaderValues : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderValues, AreReadFromTheScan) {
    ScanSpec spec;
    spec.values = {100.0, 1.0};
    GetParam().edit(spec);
    ScanFile file(one_scan_file(spec));
    ASSERT_TRUE(file.opened);
    ScanHeader header;
    ASSERT_TRUE(file.reader.read_scan_header(1, header));
    GetParam().check(header);
}

INSTANTIATE_TEST_SUITE_P(
    Scan, HeaderValues,
    ::testing::Values(
        HeaderCase{"PolarityPlus", [](ScanSpec& s) { s.polarity = "+"; },
                   [](const ScanHeader& h) { EXPECT_EQ(h.polarity, 0); }},
        HeaderCase{"PolarityMinus", [](ScanSpec& s) { s.polarity = "-"; },
                   [](const ScanHeader& h) { EXPECT_EQ(h.polarity, 1); }},
        HeaderCase{"PolarityAbsent", [](ScanSpec& s) { s.polarity.reset(); },
                   [](const ScanHeader& h) { EXPECT_EQ(h.polarity, 0); }},
        HeaderCase{"PolarityOther", [](ScanSpec& s) { s.polarity = "any"; },
                   [](const ScanHeader& h) { EXPECT_EQ(h.polarity, -1); }},
        HeaderCase{"RetentionTimeMinutes", [](ScanSpec& s) { s.retention_time = "PT1M30S"; },
                   [](const ScanHeader& h) { EXPECT_DOUBLE_EQ(h.retentionTime, 90.0); }},
        HeaderCase{"RetentionTimeDays", [](ScanSpec& s) { s.retention_time = "P0DT12S"; },
                   [](const ScanHeader& h) { EXPECT_DOUBLE_EQ(h.retentionTime, 12.0); }},
        HeaderCase{"RetentionTimeSignedNumber", [](ScanSpec& s) { s.retention_time = "PT-1S"; },
                   [](const ScanHeader& h) { EXPECT_DOUBLE_EQ(h.retentionTime, -1.0); }},
        HeaderCase{"RetentionTimeNegativeDuration", [](ScanSpec& s) { s.retention_time = "-PT1S"; },
                   [](const ScanHeader& h) { EXPECT_DOUBLE_EQ(h.retentionTime, 0.0); }},
        HeaderCase{"LevelCurrentCentroided",
                   [](ScanSpec& s) {
                       s.ms_level = 2;
                       s.extra_attributes = "totIonCurrent=\"1.82542e+008\" centroided=\"true\"";
                   },
                   [](const ScanHeader& h) {
                       EXPECT_EQ(h.msLevel, 2);
                       EXPECT_DOUBLE_EQ(h.totalIonCurrent, 1.82542e8);
                       EXPECT_TRUE(h.centroided);
                       EXPECT_EQ(h.precursorCharge, 0);
                   }},
        HeaderCase{"StartTagOverSeveralLines",
                   [](ScanSpec& s) {
                       s.ms_level = 3;
                       s.polarity = "-";
                       s.retention_time = "PT12.5S";
                       s.extra_attributes = "totIonCurrent=\"8\" centroided=\"1\"";
                       s.multi_line_start_tag = true;
                   },
                   [](const ScanHeader& h) {
                       EXPECT_EQ(h.msLevel, 3);
                       EXPECT_EQ(h.polarity, 1);
                       EXPECT_DOUBLE_EQ(h.retentionTime, 12.5);
                       EXPECT_DOUBLE_EQ(h.totalIonCurrent, 8.0);
                       EXPECT_TRUE(h.centroided);
                   }},
        HeaderCase{"PrecursorOnOneLine",
                   [](ScanSpec& s) {
                       s.ms_level = 2;
                       s.precursor = "<precursorMz precursorCharge=\"-3\">445.34</precursorMz>";
                   },
                   [](const ScanHeader& h) {
                       EXPECT_DOUBLE_EQ(h.precursorMz, 445.34);
                       EXPECT_EQ(h.precursorCharge, -3);
                   }},
        // The lines inside the element are the precursor's, not the scan's.
        HeaderCase{"PrecursorOverThreeLines",
                   [](ScanSpec& s) {
                       s.ms_level = 2;
                       s.precursor = "<precursorMz precursorCharge=\"2\"\n"
                                     "  msLevel=\"9\" polarity=\"-\" totIonCurrent=\"77\" "
                                     "centroided=\"1\" retentionTime=\"PT99S\" num=\"5\"\n"
                                     "  >445.34</precursorMz>";
                   },
                   [](const ScanHeader& h) {
                       EXPECT_DOUBLE_EQ(h.precursorMz, 445.34);
                       EXPECT_EQ(h.precursorCharge, 2);
                       EXPECT_EQ(h.msLevel, 2);
                       EXPECT_EQ(h.polarity, 0);
                       EXPECT_DOUBLE_EQ(h.totalIonCurrent, 0.0);
                       EXPECT_FALSE(h.centroided);
                       EXPECT_DOUBLE_EQ(h.retentionTime, 1.5);
                   }}),
    [](const auto& info) { return std::string(info.param.name); });

// A start tag line far longer than one line read is examined whole.
TEST(ScanHeader, LongStartTagLineIsReadWhole) {
    ScanSpec spec;
    spec.extra_attributes = "comment=\"" + std::string(5000, 'x') + "\" totIonCurrent=\"42\"";
    ScanFile file(one_scan_file(spec));
    ScanHeader header;
    ASSERT_TRUE(file.reader.read_scan_header(1, header));
    EXPECT_DOUBLE_EQ(header.totalIonCurrent, 42.0);
}

// ---- refusals ---------------------------------------------------------------

TEST(ScanHeader, RefusesPositionsOutsideTheScans) {
    MzXmlWriter writer;
    writer.begin(2).scan({}).scan({}).end_run().no_index();
    ScanFile file(writer);
    ScanHeader header;
    header.msLevel = 77;
    for (std::uint32_t n : {0u, 3u}) {
        EXPECT_FALSE(file.reader.read_scan_header(n, header)) << n;
        EXPECT_EQ(header.msLevel, 77) << "header must stay untouched";
    }
    EXPECT_TRUE(file.reader.read_scan_header(2, header));
}

TEST(ScanHeader, RefusesAScanThatNamesAnotherNumber) {
    ScanSpec spec;
    spec.num = 19;
    ScanFile file(one_scan_file(spec));
    ScanHeader header;
    EXPECT_FALSE(file.reader.read_scan_header(1, header));
}

TEST(ScanHeader, RefusesARangeThatWrapsOrLeavesTheFile) {
    MzXmlWriter writer;
    writer.begin(2).scan({}).scan({}).end_run().no_index();
    const auto good = fixture::index_of(writer);
    const std::int64_t size = static_cast<std::int64_t>(writer.str().size());
    const std::vector<std::vector<std::int64_t>> bad = {
        {good[1], good[0], good[2]},  // scan 1 ends before it starts
        {good[0], good[1], size + 1}, // the last scan runs past the end
        {-5, good[1], good[2]},       // before the start of the file
    };
    for (const auto& entries : bad) {
        ScanFile file(writer.str(), entries);
        ReadRecorder recorder;
        ScanHeader header;
        const std::uint32_t scan = entries[2] > size ? 2 : 1;
        EXPECT_FALSE(file.reader.read_scan_header(scan, header)) << entries[0];
        EXPECT_TRUE(ReadRecorder::reads().empty());
    }
}

// ---- centroiding --------------------------------------------------------------

TEST(ScanHeader, CentroidedCountsOncePerReadAndTheFirstWins) {
    MzXmlWriter writer;
    writer.begin(1)
        .raw_scan("<scan num=\"1\" msLevel=\"1\" peaksCount=\"0\" centroided=\"1\"\n"
                  "      centroided=\"0\" polarity=\"+\">\n"
                  "  <peaks precision=\"32\" byteOrder=\"network\" pairOrder=\"m/z-int\"></peaks>\n"
                  "</scan>\n")
        .end_run()
        .no_index();
    ScanFile file(writer);
    ScanHeader header;
    ASSERT_TRUE(file.reader.read_scan_header(1, header));
    EXPECT_TRUE(header.centroided);
    EXPECT_EQ(file.reader.centroided_scans, 1u);
    ASSERT_TRUE(file.reader.read_scan_header(1, header));
    EXPECT_EQ(file.reader.centroided_scans, 2u);
}

TEST(CentroidInfo, ReportsTheRunOrEveryScan) {
    MzXmlWriter writer;
    writer.begin(10);
    for (int i = 1; i <= 10; ++i) {
        ScanSpec spec;
        spec.extra_attributes = i == 4 ? "" : "centroided=\"0\"";
        writer.scan(spec);
    }
    writer.end_run().no_index();
    ScanFile file(writer);
    ScanHeader header;
    for (std::uint32_t n = 1; n <= 10; ++n)
        ASSERT_TRUE(file.reader.read_scan_header(n, header));

    fixture::RecordingSocket events;
    EXPECT_FALSE(file.reader.centroid_info_complete(events.socket));
    const auto posted = events.listener.with_id(0x4C0336B9);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].level, 7u);
    EXPECT_EQ(posted[0].args, (std::vector<std::wstring>{L"false", L"9"}));

    file.reader.run_centroided_given = true;
    EXPECT_TRUE(file.reader.centroid_info_complete(events.socket));
    EXPECT_EQ(events.listener.with_id(0x4C0336B9).back().args[0], L"true");

    file.reader.run_centroided_given = false;
    file.reader.centroided_scans = 10;
    EXPECT_TRUE(file.reader.centroid_info_complete({}));
}

// ---- reads bounded by the scan ------------------------------------------------

// Without a peaks element the header ends with the scan, not in the next one.
TEST(ScanHeaderBounds, ScanWithoutPeaksEndsAtTheNextEntry) {
    ScanSpec first;
    first.no_peaks_element = true;
    first.polarity.reset();
    ScanSpec second;
    second.ms_level = 2;
    second.polarity = "-";
    MzXmlWriter writer;
    writer.begin(2).scan(first).scan(second).end_run().no_index();
    ScanFile file(writer);
    ReadRecorder recorder;
    ScanHeader header;
    ASSERT_TRUE(file.reader.read_scan_header(1, header));
    EXPECT_EQ(header.msLevel, 1);
    EXPECT_EQ(header.polarity, 0);
    EXPECT_LE(ReadRecorder::furthest(), writer.scan_offsets()[1]);
}

TEST(ScanHeaderBounds, UnclosedPrecursorEndsWithItsScan) {
    ScanSpec first;
    first.ms_level = 2;
    first.precursor = "<precursorMz precursorIntensity=\"1\">445.3";
    first.no_peaks_element = true;
    ScanSpec second;
    second.ms_level = 2;
    second.precursor = "<precursorMz precursorCharge=\"5\">999</precursorMz>";
    second.values = {10.0, 1.0};
    MzXmlWriter writer;
    writer.begin(2).scan(first).scan(second).end_run().no_index();
    ScanFile file(writer);
    ReadRecorder recorder;
    ScanHeader header;
    ASSERT_TRUE(file.reader.read_scan_header(1, header));
    EXPECT_DOUBLE_EQ(header.precursorMz, 445.3);
    EXPECT_EQ(header.precursorCharge, 0);
    EXPECT_LE(ReadRecorder::furthest(), writer.scan_offsets()[1]);
}

// Many scans with unclosed precursors: every header costs its own scan, so
// all headers together read no more than the file.
TEST(ScanHeaderBounds, AllHeadersReadTheFileAtMostOnce) {
    MzXmlWriter writer;
    const int scans = 200;
    writer.begin(scans);
    for (int i = 0; i < scans; ++i) {
        ScanSpec spec;
        spec.ms_level = 2;
        spec.precursor = "<precursorMz>" + std::to_string(100 + i);
        spec.values = {200.0, 5.0, 300.0, 6.0};
        writer.scan(spec);
    }
    writer.end_run().no_index();
    ScanFile file(writer);
    ReadRecorder recorder;
    ScanHeader header;
    for (int n = 1; n <= scans; ++n) {
        ASSERT_TRUE(file.reader.read_scan_header(n, header));
        EXPECT_DOUBLE_EQ(header.precursorMz, 100 + n - 1);
    }
    EXPECT_LE(ReadRecorder::total(), static_cast<std::int64_t>(writer.str().size()));
}

TEST(ScanHeaderBounds, LargeScanIsNotReadForItsHeader) {
    ScanSpec spec;
    spec.values.assign(600000, 250.5); // some 3 MB of base64 on one line
    spec.extra_attributes = "totIonCurrent=\"3\"";
    ScanFile file(one_scan_file(spec));
    ReadRecorder recorder;
    ScanHeader header;
    ASSERT_TRUE(file.reader.read_scan_header(1, header));
    EXPECT_DOUBLE_EQ(header.totalIonCurrent, 3.0);
    EXPECT_LT(ReadRecorder::total(), 16 * 1024);
}

TEST(ScanHeaderBounds, LastScanEndsAtTheEndEntry) {
    ScanSpec last;
    last.no_peaks_element = true;
    MzXmlWriter writer;
    writer.begin(2).scan({}).scan(last).end_run().index();
    ScanFile file(writer);
    ReadRecorder recorder;
    ScanHeader header;
    ASSERT_TRUE(file.reader.read_scan_header(2, header));
    EXPECT_EQ(ReadRecorder::furthest(), writer.index_offset());
}

// Wherever the block reads cut "<peaks" or its ">", the header stops at the
// peaks tag and never sees what follows it.
TEST(ScanHeaderBounds, PeaksTagCutByABlockBoundary) {
    const std::string start = "<scan num=\"1\" msLevel=\"1\" peaksCount=\"1\"\n";
    const std::string peaks_tag =
        "<peaks precision=\"32\" byteOrder=\"network\" pairOrder=\"m/z-int\">";
    for (std::size_t at = 4000; at < 4100; ++at) {
        const std::string pad = "<x v=\"" + std::string(at - start.size() - 10, 'p') + "\"/>\n";
        ASSERT_EQ(start.size() + pad.size(), at);
        MzXmlWriter writer;
        writer.begin(1)
            .raw_scan(start + pad + peaks_tag + fixture::encode_values({5.0, 1.0}, 32) +
                      "</peaks> <y msLevel=\"7\" polarity=\"-\"/>\n<z num=\"3\"/>\n</scan>\n")
            .end_run()
            .no_index();
        ScanFile file(writer);
        ScanHeader header;
        ASSERT_TRUE(file.reader.read_scan_header(1, header)) << at;
        EXPECT_EQ(header.msLevel, 1) << at;
        EXPECT_EQ(header.polarity, 0) << at;
    }
}

} // namespace
