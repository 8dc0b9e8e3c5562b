#include "scan_reader.h"

namespace fixture {

auto fields(const ScanHeader& h) {
    return std::tuple(h.msLevel, h.polarity, h.retentionTime, h.precursorMz, h.precursorCharge,
                      h.totalIonCurrent, h.centroided);
}

// Want: msLevel, polarity, time, precursorMz, charge, TIC, centroided; precursorMz's lines
// are not the scan's, and a block boundary may cut "<peaks" or its ">".
TEST(ScanHeader, Values) {
    const std::string precursor =
        "<precursorMz precursorCharge=\"2\"\n msLevel=\"9\" num=\"5\"\n >445.34</precursorMz>";
    std::vector<std::pair<ScanSpec, ScanHeader>> cases = {
        {{.ms_level = 3, .polarity = "-", .multi_line_start_tag = true}, {3, 1, 1.5}},
        {{.polarity = std::nullopt}, {1, 0, 1.5}},
        {{.polarity = "any"}, {1, -1, 1.5}},
        {{.retention_time = "PT1M30S"}, {1, 0, 90}},
        {{.retention_time = "-PT1S"}, {1, 0, 0}},
        {{.ms_level = 2, .precursor = precursor}, {2, 0, 1.5, 445.34, 2}},
        // White space of any kind ends an element's name.
        {{.ms_level = 2, .precursor = "<precursorMz\tprecursorCharge=\"3\"\r\n>12.5</precursorMz>"},
         {2, 0, 1.5, 12.5, 3}}};
    // Attributes of the peaks tag are read too, wherever its end falls
    // against the 1023-byte pieces of its line.
    for (std::size_t n = 920; n < 1000; ++n)
        cases.push_back({{.peaks_attributes = "msLevel=\"9\"" + std::string(n, ' ') +
                                              "precision=\"32\" byteOrder=\"network\""},
                         {9, 0, 1.5}});
    for (std::size_t n = 3940; n < 4040; ++n)
        cases.push_back({{.extra_attributes = std::string(n, 'x'), .peaks_text = " msLevel=\"7\""},
                         {1, 0, 1.5}});
    for (const auto& c : cases) {
        ScanFile file({c.first});
        ScanHeader got;
        ASSERT_TRUE(file.reader.read_scan_header(1, got));
        EXPECT_EQ(fields(got), fields(c.second)) << &c - cases.data();
    }
}

// A NUL byte ends a line's text and would hide what follows it: a header
// holding one cannot be read, while one in the peak data is no concern.
TEST(ScanHeader, NulInTheHeaderFailsTheScan) {
    for (const auto& [spec, readable] : std::vector<std::pair<ScanSpec, bool>>{
             {{.extra_attributes = std::string("\0polarity=\"-\"", 13)}, false},
             {{.precursor = std::string("\0<peaks>\n totIonCurrent=\"5\"", 27)}, false},
             {{.peaks_text = std::string("QsgAAEA\0AAAA=", 14)}, true}}) {
        ScanFile file({spec});
        ScanHeader got;
        EXPECT_EQ(file.reader.read_scan_header(1, got), readable) << &spec;
    }
}

// The first centroided wins and counts once per read; a num naming another scan fails.
TEST(ScanHeader, CentroidedAndNum) {
    ScanFile file({{.extra_attributes = "centroided=\"1\"\n centroided=\"0\""}, {}, {.num = 7}});
    ScanHeader header;
    for (std::uint32_t n : {1u, 1u, 2u}) {
        ASSERT_TRUE(file.reader.read_scan_header(n, header));
        EXPECT_EQ(header.centroided, n == 1);
    }
    EXPECT_FALSE(file.reader.read_scan_header(3, header));
    EXPECT_EQ(file.reader.centroided_scans(), 2u);
    RecordingSocket events;
    EXPECT_FALSE(file.reader.centroid_info_complete(events.socket));
    ReaderAccess::run_centroided_given(file.reader) = true;
    EXPECT_TRUE(file.reader.centroid_info_complete(events.socket));
    const auto& posted = events.listener.events;
    ASSERT_EQ(events.listener.ids(), std::vector(2, msg::CENTROID_STATE.id));
    EXPECT_EQ(
        std::tie(posted[0].level, posted[0].args, posted[1].args[0]),
        std::tuple(msg::CENTROID_STATE.level, std::vector<std::wstring>{L"false", L"2"}, L"true"));
}

// Unclosed precursorMz and missing peaks end at the next entry; peak data are not read.
TEST(ScanHeader, ReadsStayInTheirScanAndStopAtPeaks) {
    std::vector<ScanSpec> scans(201);
    for (std::size_t i = 0; i < 200; ++i)
        scans[i] = {.no_peaks_element = !(i % 2),
                    .precursor = "<precursorMz>" + std::to_string(i + 1)};
    // Base64 of twice a read block on one line: too large to come with a block.
    scans[200].values.assign(FileView::BLOCK * 3 / 8, 250.5);
    ScanFile file(scans);
    ReadRecorder recorder;
    for (std::uint32_t n = 1; n <= 201; ++n) {
        ScanHeader h;
        ASSERT_TRUE(file.reader.read_scan_header(n, h)) << n;
        EXPECT_EQ(h.precursorMz, n <= 200 ? double(n) : 0) << n;
    }
    std::int64_t total = 0;
    for (const auto& read : ReadRecorder::reads)
        total += read.second;
    EXPECT_LE(total, file.writer.scan_offsets().back() + 16 * 1024);
}

} // namespace fixture
