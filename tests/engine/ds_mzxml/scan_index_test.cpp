#include "mzXMLReader.h"

#include <ds/messages.h>

#include "support/mzxml_fixture.h"
#include "support/recording_listener.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using namespace orvoeng;

using fixture::MzXmlWriter;
using Offsets = std::vector<std::int64_t>;
using Log = std::vector<std::wstring>;

// One reader on one temporary file, with a socket that records events.
struct Harness {
    fixture::TempDir dir;
    fixture::RecordingSocket recording;
    MzXMLReader reader;

    bool open(const std::string& content) {
        return reader.open(dir.write("f", content).wstring(), false, recording.socket, {});
    }
    // One "NAME arg..." entry per event, each checked to come at its message's level.
    Log log() const {
        Log out;
        for (const auto& e : recording.listener.events) {
            const msg::MessageDef* def = msg::find(e.id);
            const std::string_view name = def ? def->name : "?";
            std::wostringstream entry;
            entry << std::wstring(name.begin(), name.end());
            for (const auto& arg : e.args)
                entry << L' ' << arg;
            out.push_back(entry.str());
            EXPECT_EQ(e.level, def ? def->level : 0) << out.back();
        }
        return out;
    }
    std::size_t count(const std::wstring& entry) const {
        return static_cast<std::size_t>(std::ranges::count(log(), entry));
    }
};

// `scans` scans of `values` peak values declaring `scan_count`, run still open.
MzXmlWriter run_of(int scans, std::optional<int> scan_count, std::size_t values = 0) {
    fixture::ScanSpec spec;
    spec.values.assign(values, 2.5);
    MzXmlWriter writer;
    writer.begin(scan_count);
    for (int i = 0; i < scans; ++i)
        writer.scan(spec);
    return writer;
}

Offsets with_end(Offsets offsets, std::int64_t end) {
    offsets.push_back(end);
    return offsets;
}

// Recognition ends in state 1 (no 2.0 or 2.1 schema), 4 (opening tags
// missing) or 0; a missing scanCount in state 3; a sound index is read.
TEST(ScanIndexTest, RecognisesMzXml20And21AndReadsASoundIndex) {
    MzXmlWriter w("mzXML_2.0");
    w.begin(2).scan({}).scan({}).end_run().index();
    const Offsets& at = w.scan_offsets();
    const std::string late = "<?xml?>\n<mzXML a=\"mzXML_idx_2.1.xsd\">" + std::string(25, '\n');
    // content, open_state, event log, offsets (none when the file does not open)
    const std::tuple<std::string, std::uint32_t, Log, Offsets> cases[] = {
        {"", 1, {L"NO_SCHEMA"}, {}},
        {MzXmlWriter("mzXML_3.0").begin(1).str(), 1, {L"NO_SCHEMA"}, {}},
        {"mzXML_2.1\n<run>\n",
         4,
         {L"MISSING_START_TAG ?xml", L"MISSING_START_TAG mzXML", L"MISSING_START_TAG msRun"},
         {}},
        {late + "<msRun a=\"\">\n", 0, {}, {}},                   // "<msRun " after line 26
        {"<mzXML a=\"mzXML_2.1\">\n<msRun a=\"\">\n", 0, {}, {}}, // no "<?xml"
        {run_of(1, std::nullopt).end_run().index().str(), 3, {L"SCAN_COUNT 0"}, {}},
        {w.str(),
         0,
         {L"SCAN_COUNT 2", L"INDEX_OFFSET " + std::to_wstring(w.index_offset()),
          L"SCAN_OFFSET 1 " + std::to_wstring(at[0]), L"SCAN_OFFSET 2 " + std::to_wstring(at[1])},
         with_end(at, w.index_offset())},
    };
    for (const auto& [content, state, log, offsets] : cases) {
        SCOPED_TRACE(content.substr(0, 60));
        Harness h;
        EXPECT_EQ(h.open(content), !offsets.empty());
        EXPECT_EQ(h.reader.open_state(), state);
        EXPECT_EQ(h.log(), log);
        EXPECT_EQ(h.reader.offsets(), offsets);
    }
}

Offsets set(Offsets offsets, std::size_t i, std::int64_t value) {
    offsets[i] = value;
    return offsets;
}

// Every way an index fails or is unsound (wherever among the blocks the check
// reads) ends in the index built by search; the file opens; an event says why.
TEST(ScanIndexTest, UnusableIndexesAreReplacedBySearch) {
    const MzXmlWriter base = run_of(60, 60, 1200).end_run(); // 60 starts across 100 KiB blocks
    const Offsets at = base.scan_offsets();
    const auto indexed = [&](Offsets offsets) { return MzXmlWriter(base).index(offsets).str(); };
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string file = indexed(at);
        return file.replace(file.find(from), from.size(), to);
    };
    Offsets per_line = at; // shifted one byte per line, as by miscounted CR LF
    for (std::size_t i = 0; i < at.size(); ++i)
        per_line[i] += static_cast<std::int64_t>(i) + 1;
    const std::pair<std::string, std::wstring> cases[] = {
        {MzXmlWriter(base).no_index("<indexOffset xsi:nil=\"true\">9</indexOffset>").str(),
         L"INDEX_OFFSET 0"},
        {MzXmlWriter(base).no_index("").str(), L"INDEX_OFFSET 0"},
        {replaced("</mzXML>", std::string(1100, ' ') + "</mzXML>"), L"INDEX_OFFSET 0"},
        {replaced("name=\"scan\"", "name=\"scans\""), L"NOT_A_SCAN_INDEX"},
        {replaced("<offset id=\"3\">", "<offset id=\"4\">"), L"ID_OUT_OF_ORDER 4 3"},
        // Ids past the type saturate alike, short enough to be summed or not.
        {replaced("<offset id=\"3\">", "<offset id=\"30000000003\">"),
         L"ID_OUT_OF_ORDER 2147483647 3"},
        {replaced("<offset id=\"3\">", "<offset id=\"3000000000000000000003\">"),
         L"ID_OUT_OF_ORDER 2147483647 3"},
        {indexed(Offsets(at.begin(), at.end() - 1)), L"ENTRIES_DIFFER 59 60"},
        {replaced("<offset id=\"2\">", "<offset ix=\"2\">"),
         L"BAD_INDEX_LINE     <offset ix=\"2\">" + std::to_wstring(at[1]) + L"</offset>\n"},
        {indexed(per_line), L"BUILDING_INDEX"},
        {indexed(set(at, 0, -5)), L"BUILDING_INDEX"},
        {indexed(set(at, 16, at[16] + 1)), L"BUILDING_INDEX"},
        {indexed(set(at, 17, at[16])), L"BUILDING_INDEX"}, // not ascending
        {indexed(set(at, 59, at[59] + 1)), L"BUILDING_INDEX"},
        {indexed(set(at, 59, 1000000000)), L"BUILDING_INDEX"}, // beyond the file
    };
    for (const auto& [content, reason] : cases) {
        SCOPED_TRACE(reason);
        Harness h;
        EXPECT_TRUE(h.open(content));
        EXPECT_EQ(h.reader.offsets(), with_end(at, base.run_end_offset()));
        EXPECT_EQ(h.count(L"BUILDING_INDEX"), 1u);
        EXPECT_EQ(h.count(reason), 1u);
    }
}

// The search finds "<scan" and "</msRun>" straddling two 100 KiB reads, ends at
// the file's end without "</msRun>", stops at one scan more than declared. A
// count the file cannot hold fails, reserving no more than the file could hold.
TEST(ScanIndexTest, SearchFindsTheScansAgainstTheDeclaredCount) {
    const auto ended = [](MzXmlWriter w) { return w.end_run().no_index(); };
    // The file, and the arguments of the event that the counts differ (none: they agree).
    std::vector<std::pair<MzXmlWriter, std::wstring>> cases = {
        {run_of(2, 2).no_index(), L""},
        {ended(run_of(3, 2)), L" 3 2"},
        {ended(run_of(2, 4)), L" 2 4"},
        {ended(run_of(2, 2147483647)), L" 2 2147483647"},
        {ended(run_of(2, -1)), L" 2 4294967295"},
        {run_of(2, -1).end_run().index(), L" 2 4294967295"}};
    const auto padded = [](MzXmlWriter w, std::int64_t at, std::size_t indent) {
        return w.text(std::string(static_cast<std::size_t>(at) - indent - 1 - w.str().size(), ' ') +
                      "\n");
    };
    constexpr std::int64_t block = MzXMLReader::SCAN_BUFFER_SIZE;
    for (std::int64_t at : {block - 8, block - 5, block - 4, block - 1, block, 2 * block - 3}) {
        cases.push_back({ended(padded(run_of(1, 2), at, 4).scan(fixture::ScanSpec{})), L""});
        cases.push_back({ended(padded(run_of(2, 2), at, 2)), L""});
    }
    for (const auto& [file, differ] : cases) {
        SCOPED_TRACE(file.str().size());
        Harness h;
        const std::int64_t end = file.run_end_offset() < 0
                                     ? static_cast<std::int64_t>(file.str().size())
                                     : file.run_end_offset();
        EXPECT_EQ(h.open(file.str()), differ.empty());
        EXPECT_EQ(h.reader.open_state(), differ.empty() ? 0u : 2u);
        EXPECT_EQ(h.count(L"SCANS_FOUND_DIFFER" + differ), differ.empty() ? 0u : 1u);
        if (differ.empty()) {
            EXPECT_EQ(h.reader.offsets(), with_end(file.scan_offsets(), end));
        }
        EXPECT_LE(h.reader.offsets().capacity(), file.str().size() / 5 + 1);
    }
}

// Offsets beyond 4 GiB, in a sparse file (the hole costs no disk), are found by
// the file's own index and by the search.
TEST(LargeFileTest, ScansAndIndexBeyondFourGiB) {
    constexpr std::int64_t base = (4LL << 30) + 4096;
    const std::string scan = MzXmlWriter::scan_element({}, 1);
    const auto size = static_cast<std::int64_t>(scan.size());
    const Offsets at = {base + 4, base + size + 4};
    const std::int64_t run_end = base + 2 * size + 2, index_at = run_end + 11;
    const std::string tail = scan + scan +
                             "  </msRun>\n  <index name=\"scan\">\n    <offset id=\"1\">" +
                             std::to_string(at[0]) + "</offset>\n    <offset id=\"2\">" +
                             std::to_string(at[1]) + "</offset>\n  </index>\n  <indexOffset>" +
                             std::to_string(index_at) + "</indexOffset>\n</mzXML>\n";
    Harness h;
    const auto path = h.dir.write("big", MzXmlWriter().begin(2).str());
    std::filesystem::resize_file(path, base);
    std::ofstream(path, std::ios::in | std::ios::out | std::ios::binary).seekp(base) << tail;
    ASSERT_TRUE(h.reader.open(path.wstring(), false, h.recording.socket, {}));
    EXPECT_EQ(h.reader.offsets(), (Offsets{at[0], at[1], index_at}));
    EXPECT_EQ(h.log().back(), L"SCAN_OFFSET 2 " + std::to_wstring(at[1]));
    MzXMLReader searcher;
    ASSERT_TRUE(searcher.open(path.wstring(), true, {}, {}) && searcher.read_scan_count({}) &&
                searcher.build_index({}, {}));
    EXPECT_EQ(searcher.offsets(), (Offsets{at[0], at[1], run_end}));
}

} // namespace
