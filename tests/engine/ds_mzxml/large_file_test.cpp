#include "mzXMLReader.h"

#include "support/mzxml_fixture.h"
#include "support/recording_listener.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using fixture::MzXmlWriter;
using fixture::ScanSpec;

// A sparse file of over 4 GiB whose scans and index all lie beyond 4 GiB:
// holes cost no disk, and every offset needs more than 32 bits.
struct SparseRun {
    static constexpr std::int64_t BASE = (4LL << 30) + 4096;

    fixture::TempDir dir;
    std::filesystem::path path;
    std::vector<std::int64_t> scans;
    std::int64_t run_end = 0;
    std::int64_t index_at = 0;

    SparseRun() {
        std::string tail;
        for (int n = 1; n <= 2; ++n) {
            ScanSpec spec;
            spec.values = {100.0 * n, 1.0};
            scans.push_back(BASE + static_cast<std::int64_t>(tail.size()) + 4);
            tail += MzXmlWriter::scan_element(spec, n);
        }
        run_end = BASE + static_cast<std::int64_t>(tail.size()) + 2;
        tail += "  </msRun>\n";
        index_at = BASE + static_cast<std::int64_t>(tail.size()) + 2;
        tail += "  <index name=\"scan\">\n";
        for (std::size_t i = 0; i < scans.size(); ++i)
            tail += "    <offset id=\"" + std::to_string(i + 1) + "\">" + std::to_string(scans[i]) +
                    "</offset>\n";
        tail +=
            "  </index>\n  <indexOffset>" + std::to_string(index_at) + "</indexOffset>\n</mzXML>\n";

        path = dir.write("big.mzXML", MzXmlWriter().begin(2).str());
        const int fd = ::open(path.c_str(), O_WRONLY);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::ftruncate(fd, BASE), 0);
        EXPECT_EQ(::pwrite(fd, tail.data(), tail.size(), BASE), static_cast<ssize_t>(tail.size()));
        ::close(fd);
    }
};

TEST(LargeFileTest, IndexBeyondFourGiBIsRead) {
    SparseRun run;
    fixture::RecordingSocket events;
    MzXMLReader reader;
    ASSERT_TRUE(reader.open(run.path.wstring(), false, events.socket, {}));
    EXPECT_EQ(events.listener.count(0x4C0336B0), 0u) << "the file's own index is used";
    EXPECT_EQ(reader.offsets,
              (std::vector<std::int64_t>{run.scans[0], run.scans[1], run.index_at}));
    const auto offset_events = events.listener.with_id(0x4C0336B1);
    ASSERT_EQ(offset_events.size(), 2u);
    EXPECT_EQ(offset_events[1].args[1], std::to_wstring(run.scans[1]));
}

TEST(LargeFileTest, SearchBeyondFourGiBFindsTheScans) {
    SparseRun run;
    MzXMLReader reader;
    ASSERT_TRUE(reader.open(run.path.wstring(), true, {}, {}));
    ASSERT_TRUE(reader.read_scan_count({}));
    ASSERT_TRUE(reader.build_index({}, {}));
    EXPECT_EQ(reader.offsets, (std::vector<std::int64_t>{run.scans[0], run.scans[1], run.run_end}));
}

} // namespace
