// Real files from other programs open, read headers and decode peaks as their notes say.
#include "scan_reader.h"
#include "text_number.h"

#include <fstream>

using namespace orvoeng;

TEST(Corpus, OpensHeadersAndPeaksAsTheNotesSay) {
    constexpr auto npos = std::string::npos;
    const auto dir = fixture::corpus_dir();
    if (dir.empty())
        GTEST_SKIP() << "corpus folder absent (set ORVO_CORPUS_DIR): real files not checked";
    std::ifstream notes(dir / "SOURCES.md");
    int files = 0;
    for (std::string row; std::getline(notes, row);) {
        if (row.rfind("| ", 0) != 0 || row.find(".mzXML |") == npos)
            continue;
        ++files;
        const std::string name = row.substr(2, row.find(' ', 2) - 2);
        const std::string outcome = row.substr(row.rfind("| "));
        const auto state = outcome.find("open_state ");
        const bool opens = state == npos, walks = outcome.find("walk OK") != npos;
        SCOPED_TRACE(name);
        MzXMLReader reader;
        fixture::RecordingSocket events;
        EXPECT_EQ(reader.open((dir / name).wstring(), false, events.socket, {}), opens);
        EXPECT_EQ(reader.open_state(),
                  opens ? 0u : static_cast<unsigned>(outcome[state + 11] - '0'));
        std::ifstream in(dir / name, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        for (std::uint32_t n = 1; opens && n <= reader.scan_count(); ++n) {
            ScanHeader h;
            bool centroided = false;
            std::vector<double> mz, intensity;
            EXPECT_EQ(reader.read_scan_header(n, h), walks) << n;
            EXPECT_TRUE(reader.read_peaks(n, centroided, mz, intensity, events.socket)) << n;
            const auto at = bytes.find("peaksCount=\"", std::size_t(reader.offsets()[n - 1])) + 12;
            EXPECT_EQ(mz.size(), std::size_t(text_to_int32(bytes.substr(at, 12)))) << n;
        }
        EXPECT_EQ(events.listener.count(0xCC0236B3) + events.listener.count(0xCC0236B4), 0u);
    }
    EXPECT_EQ(files, 19);
}
