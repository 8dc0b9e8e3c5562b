#include "mzXMLReader.h"

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

// Every entry the reader trusts in a real file starts a scan, and where the
// file's own index is sound, the search finds the same scans.
TEST(IndexCorpusTest, SoundIndexesAgreeWithTheSearch) {
    const auto dir = fixture::corpus_dir();
    if (dir.empty())
        GTEST_SKIP() << "no corpus of real mzXML files (set ORVO_CORPUS_DIR)";
    std::size_t compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const auto& path = entry.path();
        if (path.extension() != ".mzXML")
            continue;
        SCOPED_TRACE(path.filename().string());
        MzXMLReader reader, read, built;
        std::ifstream in(path, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        const bool opened = reader.open(path.wstring(), false, {}, {});
        for (std::size_t i = 0; opened && i + 1 < reader.offsets.size(); ++i)
            EXPECT_EQ(bytes.compare(static_cast<std::size_t>(reader.offsets[i]), 5, "<scan"), 0);
        if (!read.open(path.wstring(), true, {}, {}) || !read.read_scan_count({}) ||
            !read.read_index({}, {}))
            continue;
        ASSERT_TRUE(built.open(path.wstring(), true, {}, {}) && built.read_scan_count({}));
        EXPECT_TRUE(built.build_index({}, {}));
        ASSERT_EQ(read.offsets.size(), built.offsets.size());
        // The end entries differ by design: the index's offset against the run's end.
        EXPECT_TRUE(
            std::equal(read.offsets.begin(), read.offsets.end() - 1, built.offsets.begin()));
        EXPECT_LE(built.offsets.back(), read.offsets.back());
        ++compared;
    }
    EXPECT_GT(compared, 0u) << "no corpus file has a sound index";
}

} // namespace
