#include "mzXMLReader.h"

#include "support/mzxml_fixture.h"
#include "support/recording_listener.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace {

enum class Outcome { VIA_INDEX, BY_SEARCH, REFUSED };

struct Expected {
    Outcome outcome;
    std::uint32_t open_state = 0;
};

// What the corpus notes expect of each real file.
const std::map<std::string, Expected> expected_outcomes = {
    {"readmzxmldata__A1-0_A1.mzXML", {Outcome::VIA_INDEX}},
    {"msnbase__dummyiTRAQ.mzXML", {Outcome::VIA_INDEX}},
    {"pwiz__tiny.pwiz.mzXML", {Outcome::BY_SEARCH}},          // index ids 19-22
    {"pwiz-examples__tiny.pwiz.mzXML", {Outcome::BY_SEARCH}}, // index ids 19-20
    {"pyteomics__test.mzXML", {Outcome::REFUSED, 2}},         // 2 scans, 3113 declared
    {"mzxmljl__test96.mzXML", {Outcome::REFUSED, 2}},
    {"openms__FileInfo_4_input.mzXML", {Outcome::BY_SEARCH}},
    {"openms__OpenSwathWorkflow_2_input.mzXML", {Outcome::BY_SEARCH}},
    {"openms__InspectOutfile_test_1.mzXML", {Outcome::BY_SEARCH}},
    {"openms__InspectOutfile_test_2.mzXML", {Outcome::BY_SEARCH}},
    {"openms__MzXMLFile_1.mzXML", {Outcome::BY_SEARCH}},
    {"openms__MzXMLFile_2_minimal.mzXML", {Outcome::REFUSED, 0}}, // no "<msRun "
    {"openms__MzXMLFile_3_64bit.mzXML", {Outcome::REFUSED, 2}},
    {"openms-2008__Tutorial_FileIO.mzXML", {Outcome::BY_SEARCH}},
    {"openms-pyopenms__test.mzXML", {Outcome::BY_SEARCH}},
    {"openms-pyopenms__test1.mzXML", {Outcome::REFUSED, 2}},
    {"openms-pyopenms__test2.mzXML", {Outcome::BY_SEARCH}},
    {"maldiquantforeign__tiny1.mzXML3.0.mzXML", {Outcome::REFUSED, 1}}, // schema 3.0
    {"mzxmljl__test64.mzXML", {Outcome::REFUSED, 1}},                   // schema 3.2
};

std::vector<std::filesystem::path> corpus_files() {
    std::vector<std::filesystem::path> files;
    const auto dir = fixture::corpus_dir();
    if (dir.empty())
        return files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().extension() == ".mzXML")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string bytes_of(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(IndexCorpusTest, EveryFileOpensAsTheCorpusNotesExpect) {
    const auto files = corpus_files();
    if (files.empty())
        GTEST_SKIP() << "no corpus of real mzXML files (set ORVO_CORPUS_DIR)";
    std::size_t known = 0;
    for (const auto& path : files) {
        const std::string name = path.filename().string();
        fixture::RecordingSocket events;
        MzXMLReader reader;
        const bool opened = reader.open(path.wstring(), false, events.socket, {});
        const bool searched = events.listener.count(0x4C0336B0) > 0;

        // Whatever the file, every entry the reader trusts starts a scan.
        if (opened) {
            const std::string bytes = bytes_of(path);
            ASSERT_EQ(reader.offsets.size(), reader.scanCount + 1u) << name;
            for (std::size_t i = 0; i + 1 < reader.offsets.size(); ++i)
                EXPECT_EQ(bytes.compare(static_cast<std::size_t>(reader.offsets[i]), 5, "<scan"), 0)
                    << name << " entry " << i;
            EXPECT_LE(reader.offsets.back(), static_cast<std::int64_t>(bytes.size())) << name;
        }

        const auto expected = expected_outcomes.find(name);
        if (expected == expected_outcomes.end())
            continue;
        ++known;
        const Expected& e = expected->second;
        switch (e.outcome) {
        case Outcome::VIA_INDEX:
            EXPECT_TRUE(opened && !searched) << name;
            break;
        case Outcome::BY_SEARCH:
            EXPECT_TRUE(opened && searched) << name;
            break;
        case Outcome::REFUSED:
            EXPECT_FALSE(opened) << name;
            EXPECT_EQ(reader.open_state, e.open_state) << name;
            break;
        }
    }
    EXPECT_GT(known, 0u) << "none of the corpus files is known to this test";
}

// Where a file's own index is sound, searching the file gives the same scans.
TEST(IndexCorpusTest, SoundIndexesAgreeWithTheSearch) {
    const auto files = corpus_files();
    if (files.empty())
        GTEST_SKIP() << "no corpus of real mzXML files (set ORVO_CORPUS_DIR)";
    std::size_t compared = 0;
    for (const auto& path : files) {
        MzXMLReader read, built;
        if (!read.open(path.wstring(), true, {}, {}) || !read.read_scan_count({}) ||
            !read.read_index({}, {}))
            continue;
        ASSERT_TRUE(built.open(path.wstring(), true, {}, {}));
        ASSERT_TRUE(built.read_scan_count({}));
        EXPECT_TRUE(built.build_index({}, {})) << path.filename();
        ASSERT_EQ(read.offsets.size(), built.offsets.size()) << path.filename();
        // The end entries differ by design: the index's own offset against
        // the end of the run.
        EXPECT_TRUE(std::equal(read.offsets.begin(), read.offsets.end() - 1, built.offsets.begin()))
            << path.filename();
        EXPECT_LE(built.offsets.back(), read.offsets.back()) << path.filename();
        ++compared;
    }
    EXPECT_GT(compared, 0u) << "no corpus file has a sound index";
}

} // namespace
