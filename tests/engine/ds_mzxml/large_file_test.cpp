#include "mzXMLReader.h"

#include "support/mzxml_fixture.h"
#include "support/recording_listener.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using Offsets = std::vector<std::int64_t>;

// A sparse file of over 4 GiB (the hole left by resizing costs no disk) whose
// scans and index lie beyond 4 GiB, so that every offset needs more than 32
// bits. The file's own index and the search both find the scans.
TEST(LargeFileTest, ScansAndIndexBeyondFourGiB) {
    constexpr std::int64_t base = (4LL << 30) + 4096;
    const std::string scan = fixture::MzXmlWriter::scan_element(fixture::ScanSpec{}, 1);
    const auto size = static_cast<std::int64_t>(scan.size());
    const Offsets scans = {base + 4, base + size + 4};
    const std::int64_t run_end = base + 2 * size + 2, index_at = run_end + 11;
    const std::string tail = scan + scan +
                             "  </msRun>\n  <index name=\"scan\">\n    <offset id=\"1\">" +
                             std::to_string(scans[0]) + "</offset>\n    <offset id=\"2\">" +
                             std::to_string(scans[1]) + "</offset>\n  </index>\n  <indexOffset>" +
                             std::to_string(index_at) + "</indexOffset>\n</mzXML>\n";
    fixture::TempDir dir;
    const auto path = dir.write("big.mzXML", fixture::MzXmlWriter().begin(2).str());
    std::filesystem::resize_file(path, base);
    std::ofstream(path, std::ios::in | std::ios::out | std::ios::binary).seekp(base) << tail;

    fixture::RecordingSocket events;
    MzXMLReader reader, searcher;
    ASSERT_TRUE(reader.open(path.wstring(), false, events.socket, {}));
    EXPECT_EQ(events.listener.count(0x4C0336B0), 0u) << "the file's own index is used";
    EXPECT_EQ(reader.offsets, (Offsets{scans[0], scans[1], index_at}));
    EXPECT_EQ(events.listener.with_id(0x4C0336B1).at(1).args.at(1), std::to_wstring(scans[1]));
    ASSERT_TRUE(searcher.open(path.wstring(), true, {}, {}) && searcher.read_scan_count({}));
    ASSERT_TRUE(searcher.build_index({}, {}));
    EXPECT_EQ(searcher.offsets, (Offsets{scans[0], scans[1], run_end}));
}

} // namespace
