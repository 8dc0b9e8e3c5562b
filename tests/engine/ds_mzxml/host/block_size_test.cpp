// The plug-in built with a tiny reading block reads every file exactly as
// the one with the shipped block: the same scans, spectra, run information,
// errors and events, whatever block boundaries cut through.
#include "host_session.h"

namespace {

using fixture::Session;

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

void expect_alike(const std::filesystem::path& path) {
    const Session shipped(path);
    const Session tiny(path, {}, {}, fixture::create_tiny_block_data_source);
    EXPECT_EQ(fixture::differences(tiny, shipped), "");
}

TEST(BlockSizes, FixturesReadAlikeWithTinyAndShippedBlocks) {
    const std::string run = fixture::generated_run(300, 50);
    const std::vector<std::pair<std::string, std::string>> files = {
        {"indexed", run},
        {"no index", fixture::generated_run(300, 50, false)},
        {"scans larger than a shipped block", fixture::generated_run(3, 400000)},
        {"CR LF", replaced(fixture::generated_run(40, 8), "\n", "\r\n")},
        {"no line breaks", replaced(fixture::generated_run(40, 8), "\n", "")},
        {"long start tags", replaced(run, "<scan ", "<scan " + std::string(3000, ' '))},
        {"cut in a scan", run.substr(0, run.size() / 2)},
    };
    fixture::TempDir dir;
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        expect_alike(dir.write("file.mzXML", bytes));
    }
}

TEST(BlockSizes, ConverterLayoutsReadAlikeWithTinyAndShippedBlocks) {
    fixture::TempDir dir;
    for (const std::string layout : fixture::CONVERTER_LAYOUTS) {
        SCOPED_TRACE(layout);
        const auto path = fixture::generated_file(
            dir, layout + ".mzXML", "--scans 600 --ms1-peaks 60 --ms2-peaks 8 --layout " + layout);
        if (path.empty())
            GTEST_SKIP() << "no generator in this build: the layouts are read on Linux";
        expect_alike(path);
    }
}

TEST(BlockSizes, CorpusReadsAlikeWithTinyAndShippedBlocks) {
    const auto dir = fixture::corpus_dir();
    if (dir.empty())
        GTEST_SKIP() << "corpus folder absent (set ORVO_CORPUS_DIR): real files not compared";
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".mzXML")
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        expect_alike(entry.path());
        ++files;
    }
    EXPECT_GT(files, 0u);
}

} // namespace
