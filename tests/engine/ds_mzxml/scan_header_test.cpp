#include "scan_reader.h"
#include "support/recording_listener.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Cases name only the fields they change; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using namespace fixture;

MzXmlWriter file_of(const std::vector<ScanSpec>& scans) {
    MzXmlWriter writer;
    writer.begin(static_cast<int>(scans.size()));
    for (const ScanSpec& scan : scans)
        writer.scan(scan);
    writer.end_run().no_index();
    return writer;
}

void expect_header(const ScanHeader& got, const ScanHeader& want, const char* name) {
    EXPECT_EQ(got.msLevel, want.msLevel) << name;
    EXPECT_EQ(got.polarity, want.polarity) << name;
    EXPECT_DOUBLE_EQ(got.retentionTime, want.retentionTime) << name;
    EXPECT_DOUBLE_EQ(got.precursorMz, want.precursorMz) << name;
    EXPECT_EQ(got.precursorCharge, want.precursorCharge) << name;
    EXPECT_DOUBLE_EQ(got.totalIonCurrent, want.totalIonCurrent) << name;
    EXPECT_EQ(got.centroided, want.centroided) << name;
}

TEST(ScanHeader, Values) {
    const std::string precursor3 =
        "<precursorMz precursorCharge=\"2\"\n  msLevel=\"9\" polarity=\"-\" "
        "totIonCurrent=\"7\" centroided=\"1\" num=\"5\"\n  >445.34</precursorMz>";
    const std::string long_tag = "comment=\"" + std::string(5000, 'x') + "\" totIonCurrent=\"42\"";
    const struct {
        const char* name;
        ScanSpec scan;
        ScanHeader want;
    } cases[] = {
        {"plus", {.polarity = "+"}, {.msLevel = 1, .polarity = 0, .retentionTime = 1.5}},
        {"minus", {.polarity = "-"}, {.msLevel = 1, .polarity = 1, .retentionTime = 1.5}},
        {"no polarity",
         {.polarity = std::nullopt},
         {.msLevel = 1, .polarity = 0, .retentionTime = 1.5}},
        {"other polarity",
         {.polarity = "any"},
         {.msLevel = 1, .polarity = -1, .retentionTime = 1.5}},
        {"negative duration", {.retention_time = "-PT1S"}, {.msLevel = 1, .polarity = 0}},
        {"start tag over lines",
         {.ms_level = 3,
          .polarity = "-",
          .retention_time = "PT1M30S",
          .extra_attributes = "totIonCurrent=\"8\" centroided=\"true\"",
          .multi_line_start_tag = true},
         {.msLevel = 3,
          .polarity = 1,
          .retentionTime = 90,
          .totalIonCurrent = 8,
          .centroided = true}},
        // The lines inside precursorMz are not the scan's.
        {"precursor over three lines",
         {.ms_level = 2, .precursor = precursor3},
         {.msLevel = 2,
          .polarity = 0,
          .retentionTime = 1.5,
          .precursorMz = 445.34,
          .precursorCharge = 2}},
        {"line longer than a read",
         {.extra_attributes = long_tag},
         {.msLevel = 1, .polarity = 0, .retentionTime = 1.5, .totalIonCurrent = 42}},
    };
    for (const auto& c : cases) {
        ScanFile file(file_of({c.scan}));
        ScanHeader got;
        ASSERT_TRUE(file.reader.read_scan_header(1, got)) << c.name;
        expect_header(got, c.want, c.name);
    }
}

TEST(ScanHeader, Refusals) {
    const MzXmlWriter writer = file_of({{}, {.num = 7}});
    ScanFile file(writer);
    ScanHeader header;
    header.msLevel = 77;
    EXPECT_FALSE(file.reader.read_scan_header(0, header));
    EXPECT_FALSE(file.reader.read_scan_header(3, header));
    EXPECT_EQ(header.msLevel, 77) << "untouched when out of range";
    EXPECT_FALSE(file.reader.read_scan_header(2, header)) << "num names another scan";

    // Entries that go backwards, leave the file or start before it: no read.
    const std::vector<std::int64_t> e = file.reader.offsets;
    const auto size = static_cast<std::int64_t>(writer.str().size());
    for (const auto& entries : std::vector<std::vector<std::int64_t>>{
             {e[1], e[0], e[2]}, {e[0], size + 1, e[2]}, {-5, e[1], e[2]}}) {
        ScanFile bad(writer, entries);
        ReadRecorder recorder;
        EXPECT_FALSE(bad.reader.read_scan_header(1, header)) << entries[0] << " " << entries[1];
        EXPECT_TRUE(ReadRecorder::reads().empty());
    }
}

TEST(ScanHeader, CentroidedCountsOncePerReadFirstWins) {
    MzXmlWriter writer;
    writer.begin(3)
        .raw_scan("<scan num=\"1\" msLevel=\"1\" centroided=\"1\"\n      centroided=\"0\">\n"
                  "<peaks precision=\"32\"></peaks>\n</scan>\n")
        .scan({})
        .scan({})
        .end_run()
        .no_index();
    ScanFile file(writer);
    ScanHeader header;
    for (std::uint32_t n : {1u, 1u}) {
        ASSERT_TRUE(file.reader.read_scan_header(n, header));
        EXPECT_TRUE(header.centroided);
    }
    ASSERT_TRUE(file.reader.read_scan_header(2, header));
    EXPECT_EQ(file.reader.centroided_scans, 2u);

    RecordingSocket events;
    EXPECT_FALSE(file.reader.centroid_info_complete(events.socket));
    file.reader.run_centroided_given = true;
    EXPECT_TRUE(file.reader.centroid_info_complete(events.socket));
    file.reader.run_centroided_given = false;
    file.reader.centroided_scans = 3;
    EXPECT_TRUE(file.reader.centroid_info_complete({}));
    const auto posted = events.listener.with_id(0x4C0336B9);
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].level, 7u);
    EXPECT_EQ(posted[0].args, (std::vector<std::wstring>{L"false", L"2"}));
    EXPECT_EQ(posted[1].args[0], L"true");
}

// Scans without peaks or with an unclosed precursorMz end at the next entry:
// every header costs its own scan, so all of them read the file at most once.
TEST(ScanHeaderBounds, EachReadStaysInItsScan) {
    std::vector<ScanSpec> scans;
    for (int i = 0; i < 200; ++i)
        scans.push_back({.ms_level = 2 - i % 2,
                         .values = {200, 5},
                         .no_peaks_element = i % 2 == 0,
                         .precursor = "<precursorMz>" + std::to_string(100 + i)});
    const MzXmlWriter writer = file_of(scans);
    ScanFile file(writer);
    ReadRecorder recorder;
    for (std::uint32_t n = 1; n <= 200; ++n) {
        ScanHeader header;
        ASSERT_TRUE(file.reader.read_scan_header(n, header)) << n;
        EXPECT_EQ(header.msLevel, 2 - static_cast<int>(n - 1) % 2) << n;
        EXPECT_DOUBLE_EQ(header.precursorMz, 100 + n - 1) << n;
    }
    EXPECT_LE(ReadRecorder::total(), static_cast<std::int64_t>(writer.str().size()));
}

TEST(ScanHeaderBounds, LargeScanIsNotReadForItsHeader) {
    ScanSpec scan{.extra_attributes = "totIonCurrent=\"3\""};
    scan.values.assign(600000, 250.5); // some 3 MB of base64 on one line
    ScanFile file(file_of({scan}));
    ReadRecorder recorder;
    ScanHeader header;
    ASSERT_TRUE(file.reader.read_scan_header(1, header));
    EXPECT_DOUBLE_EQ(header.totalIonCurrent, 3.0);
    EXPECT_LT(ReadRecorder::total(), 16 * 1024);
}

// Wherever a block read cuts "<peaks" or its ">", the header ends at the tag.
TEST(ScanHeaderBounds, PeaksTagCutByABlockBoundary) {
    const std::string start = "<scan num=\"1\" msLevel=\"1\" peaksCount=\"1\"\n";
    for (std::size_t at = 4000; at < 4100; ++at) {
        MzXmlWriter writer;
        writer.begin(1)
            .raw_scan(start + "<x v=\"" + std::string(at - start.size() - 10, 'p') + "\"/>\n" +
                      "<peaks precision=\"32\" byteOrder=\"network\" pairOrder=\"m/z-int\">" +
                      "AAAA</peaks> <y msLevel=\"7\"/>\n<z num=\"3\"/>\n</scan>\n")
            .end_run()
            .no_index();
        ScanFile file(writer);
        ScanHeader header;
        ASSERT_TRUE(file.reader.read_scan_header(1, header)) << at;
        EXPECT_EQ(header.msLevel, 1) << at;
    }
}

} // namespace
