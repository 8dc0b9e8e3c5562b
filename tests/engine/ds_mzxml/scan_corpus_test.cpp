// Real files from other programs open, read headers and decode peaks as their notes say.
// Every entry the reader trusts starts a scan, and where a file's own index is sound, the
// search finds the same scans.
#include "scan_reader.h"
#include "text_number.h"

#include <algorithm>
#include <fstream>

using namespace orvoeng;

TEST(Corpus, OpensHeadersAndPeaksAsTheNotesSay) {
    const auto dir = fixture::corpus_dir();
    if (dir.empty())
        GTEST_SKIP() << "corpus folder absent (set ORVO_CORPUS_DIR): real files not checked";
    int files = 0, compared = 0;
    for (const auto& [name, scans, opens, state, fails_at, text] : fixture::corpus_outcomes(dir)) {
        files += std::filesystem::is_regular_file(dir / name);
        SCOPED_TRACE(name);
        MzXMLReader reader;
        fixture::RecordingSocket events;
        EXPECT_EQ(reader.open((dir / name).wstring(), false, events.socket, {}), opens);
        EXPECT_EQ(reader.open_state(), state);
        std::ifstream in(dir / name, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        for (std::size_t i = 0; opens && i + 1 < reader.offsets().size(); ++i)
            EXPECT_EQ(bytes.compare(static_cast<std::size_t>(reader.offsets()[i]), 5, "<scan"), 0);
        for (std::uint32_t n = 1; opens && n <= reader.scan_count(); ++n) {
            ScanHeader h;
            bool centroided = false;
            std::vector<double> mz, intensity;
            EXPECT_EQ(reader.read_scan_header(n, h), !fails_at || n < fails_at) << n;
            EXPECT_TRUE(reader.read_peaks(n, centroided, mz, intensity, events.socket)) << n;
            const auto at = bytes.find("peaksCount=\"", std::size_t(reader.offsets()[n - 1])) + 12;
            EXPECT_EQ(mz.size(), std::size_t(text_to_int32(bytes.substr(at, 12)))) << n;
        }
        for (const auto& def : {msg::PEAK_ATTRIBUTES_MISSING, msg::PEAK_COUNT_DIFFERS})
            EXPECT_EQ(events.listener.count(def.id), 0u) << def.name;
        MzXMLReader read, built;
        const auto path = (dir / name).wstring();
        if (!read.open(path, true, {}, {}) || !read.read_scan_count({}) || !read.read_index({}, {}))
            continue;
        ASSERT_TRUE(built.open(path, true, {}, {}) && built.read_scan_count({}));
        EXPECT_TRUE(built.build_index({}, {}));
        ASSERT_EQ(read.offsets().size(), built.offsets().size());
        // The end entries differ by design: the index's offset against the run's end.
        EXPECT_TRUE(
            std::equal(read.offsets().begin(), read.offsets().end() - 1, built.offsets().begin()));
        EXPECT_LE(built.offsets().back(), read.offsets().back());
        ++compared;
    }
    const auto is_mzxml = [](auto& f) { return f.path().extension() == ".mzXML"; };
    EXPECT_EQ(files, std::ranges::count_if(std::filesystem::directory_iterator(dir), is_mzxml))
        << "a file without its row in SOURCES.md, or a row without its file";
    EXPECT_GT(compared, 0) << "no corpus file has a sound index";
}
