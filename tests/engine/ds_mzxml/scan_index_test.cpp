#include "mzXMLReader.h"

#include "support/mzxml_fixture.h"
#include "support/recording_listener.h"

#include "os/syscalls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using fixture::MzXmlWriter;
using fixture::ScanSpec;
using Offsets = std::vector<std::int64_t>;

constexpr std::uint32_t MISSING_START_TAG = 0xCC0236B0;
constexpr std::uint32_t NO_SCHEMA = 0xCC0236B1;
constexpr std::uint32_t SCANS_FOUND_DIFFER = 0xCC0236B2;
constexpr std::uint32_t BUILDING_INDEX = 0x4C0336B0;
constexpr std::uint32_t SCAN_OFFSET = 0x4C0336B1;
constexpr std::uint32_t ENTRIES_DIFFER = 0x4C0336B2;
constexpr std::uint32_t SCAN_COUNT = 0x4C0336B3;
constexpr std::uint32_t INDEX_OFFSET = 0x4C0336B4;
constexpr std::uint32_t NOT_A_SCAN_INDEX = 0x4C0336B5;
constexpr std::uint32_t ID_OUT_OF_ORDER = 0x4C0336B6;
constexpr std::uint32_t BAD_INDEX_LINE = 0x4C0336B7;

using Args = std::vector<std::wstring>;

// One reader on one temporary file, with a socket that records events.
struct Harness {
    fixture::TempDir dir;
    fixture::RecordingSocket recording;
    MzXMLReader reader;

    bool open(const std::string& content, bool header_only = false,
              const PAL::SmartPtr<PAL::Progress>& progress = {}) {
        return reader.open(dir.write("run.mzXML", content).wstring(), header_only, recording.socket,
                           progress);
    }
    const fixture::RecordingListener& events() const { return recording.listener; }
    Args args_of(std::uint32_t id, std::size_t which = 0) const {
        const auto found = events().with_id(id);
        return which < found.size() ? found[which].args : Args{L"<no such event>"};
    }
};

// A file of `scans` small scans declaring `scan_count`, ready for its index.
MzXmlWriter run_of(int scans, std::optional<int> scan_count) {
    MzXmlWriter writer;
    writer.begin(scan_count);
    for (int i = 0; i < scans; ++i) {
        ScanSpec spec;
        spec.values = {100.0 + i, 10.0, 200.0 + i, 20.0};
        writer.scan(spec);
    }
    return writer;
}

Offsets with_end(Offsets offsets, std::int64_t end) {
    offsets.push_back(end);
    return offsets;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

// ---- recognition -------------------------------------------------------------

TEST(ScanIndexTest, RecognisesOnlyMzXml20And21WithTheirOpeningTags) {
    std::string late_run = "<?xml version=\"1.0\"?>\n<mzXML xmlns=\"x/mzXML_2.1\">\n";
    for (int i = 0; i < 24; ++i)
        late_run += "<!-- filler -->\n";
    late_run += "<msRun scanCount=\"0\">\n";

    struct Case {
        const char* what;
        std::string content;
        bool result;
        std::uint32_t state;
        std::vector<std::uint32_t> events;
    };
    const Case cases[] = {
        {"empty file", "", false, 1, {NO_SCHEMA}},
        {"schema 3.0", MzXmlWriter("mzXML_3.0").begin(1).str(), false, 1, {NO_SCHEMA}},
        {"marker alone",
         "mzXML_2.1\n<run>\n",
         false,
         4,
         {MISSING_START_TAG, MISSING_START_TAG, MISSING_START_TAG}},
        {"msRun after line 26", late_run, false, 0, {}},
        {"no <?xml", "<mzXML xmlns=\"x/mzXML_2.0\">\n<msRun scanCount=\"1\">\n", false, 0, {}},
        {"xsd name of 2.0",
         "<?xml?>\n<mzXML a=\"mzXML_idx_2.0.xsd\">\n<msRun scanCount=\"1\">\n",
         true,
         0,
         {}},
        {"schema 2.0", MzXmlWriter("mzXML_2.0").begin(1).str(), true, 0, {}},
        {"schema 2.1", MzXmlWriter("mzXML_2.1").begin(1).str(), true, 0, {}},
    };
    for (const Case& c : cases) {
        Harness h;
        EXPECT_EQ(h.open(c.content, true), c.result) << c.what;
        EXPECT_EQ(h.reader.open_state, c.state) << c.what;
        EXPECT_EQ(h.events().ids(), c.events) << c.what;
        // Recognition alone learns nothing else.
        EXPECT_EQ(h.reader.scanCount, 0u) << c.what;
        EXPECT_TRUE(h.reader.offsets.empty()) << c.what;
    }
}

TEST(ScanIndexTest, NamesTheMissingOpeningTagsInOrder) {
    Harness h;
    EXPECT_FALSE(h.open("mzXML_2.0\n"));
    const auto missing = h.events().with_id(MISSING_START_TAG);
    ASSERT_EQ(missing.size(), 3u);
    EXPECT_EQ(missing[0].args, Args{L"?xml"});
    EXPECT_EQ(missing[1].args, Args{L"mzXML"});
    EXPECT_EQ(missing[2].args, Args{L"msRun"});
    EXPECT_EQ(missing[0].level, 1u);
}

TEST(ScanIndexTest, UnopenableFileFailsWithoutReason) {
    Harness h;
    EXPECT_FALSE(
        h.reader.open((h.dir.path() / "absent.mzXML").wstring(), false, h.recording.socket, {}));
    EXPECT_EQ(h.reader.open_state, 0u);
    EXPECT_TRUE(h.events().events.empty());
}

TEST(ScanIndexTest, MissingScanCountIsState3) {
    Harness h;
    EXPECT_FALSE(h.open(run_of(1, std::nullopt).end_run().index().str()));
    EXPECT_EQ(h.reader.open_state, 3u);
    EXPECT_EQ(h.events().ids(), std::vector<std::uint32_t>{SCAN_COUNT});
    EXPECT_EQ(h.args_of(SCAN_COUNT), Args{L"0"});
}

// ---- reading the file's index ------------------------------------------------

TEST(ScanIndexTest, ReadsASoundIndex) {
    Harness h;
    MzXmlWriter w = run_of(3, 3);
    w.end_run().index();
    ASSERT_TRUE(h.open(w.str()));
    EXPECT_EQ(h.reader.open_state, 0u);
    EXPECT_EQ(h.reader.scanCount, 3u);
    EXPECT_EQ(h.reader.offsets, with_end(w.scan_offsets(), w.index_offset()));
    EXPECT_EQ(h.events().ids(), (std::vector<std::uint32_t>{SCAN_COUNT, INDEX_OFFSET, SCAN_OFFSET,
                                                            SCAN_OFFSET, SCAN_OFFSET}));
    EXPECT_EQ(h.args_of(SCAN_COUNT), Args{L"3"});
    EXPECT_EQ(h.args_of(INDEX_OFFSET), Args{std::to_wstring(w.index_offset())});
    EXPECT_EQ(h.args_of(SCAN_OFFSET, 2), (Args{L"3", std::to_wstring(w.scan_offsets()[2])}));
    EXPECT_EQ(h.events().with_id(SCAN_OFFSET)[0].level, 7u);
}

TEST(ScanIndexTest, WithoutASocketNothingIsPosted) {
    fixture::TempDir dir;
    MzXMLReader reader;
    MzXmlWriter w = run_of(2, 2);
    w.end_run().no_index();
    EXPECT_TRUE(reader.open(dir.write("f", w.str()).wstring(), false, {}, {}));
    EXPECT_EQ(reader.offsets, with_end(w.scan_offsets(), w.run_end_offset()));
}

// Every way an index can fail ends in the index built by search, and the
// file opens.
TEST(ScanIndexTest, UnusableIndexesAreReplacedBySearch) {
    struct Case {
        const char* what;
        std::string content;
        std::uint32_t reason; // the event that says why, 0 for none
        Args reason_args;
    };
    const MzXmlWriter base = [] {
        MzXmlWriter w = run_of(3, 3);
        w.end_run();
        return w;
    }();
    const Offsets at = base.scan_offsets();
    auto indexed = [&](std::optional<std::vector<int>> ids, std::optional<Offsets> offsets) {
        MzXmlWriter w = base;
        return w.index(ids, offsets).str();
    };
    const std::string sound = indexed(std::nullopt, std::nullopt);
    std::string far_tail = sound;
    far_tail.insert(far_tail.size() - 9, std::string(1100, ' ')); // before </mzXML>

    const Case cases[] = {
        {"indexOffset 0", MzXmlWriter(base).no_index().str(), INDEX_OFFSET, {L"0"}},
        {"indexOffset nil",
         MzXmlWriter(base).no_index("<indexOffset xsi:nil=\"true\">77</indexOffset>").str(),
         INDEX_OFFSET,
         {L"0"}},
        {"indexOffset absent", MzXmlWriter(base).no_index("").str(), INDEX_OFFSET, {L"0"}},
        {"indexOffset not in the last 1024 bytes", far_tail, INDEX_OFFSET, {L"0"}},
        {"not the scan index",
         replaced(sound, "name=\"scan\"", "name=\"scans\""),
         NOT_A_SCAN_INDEX,
         {}},
        {"ids out of order",
         indexed(std::vector<int>{1, 2, 4}, std::nullopt),
         ID_OUT_OF_ORDER,
         {L"4", L"3"}},
        {"fewer entries than scanCount",
         indexed(std::nullopt, Offsets{at[0], at[1]}),
         ENTRIES_DIFFER,
         {L"2", L"3"}},
        {"line without id",
         replaced(sound, "<offset id=\"2\">", "<offset ix=\"2\">"),
         BAD_INDEX_LINE,
         {L"    <offset ix=\"2\">" + std::to_wstring(at[1]) + L"</offset>\n"}},
        {"shifted one byte per line",
         indexed(std::nullopt, Offsets{at[0] + 1, at[1] + 2, at[2] + 3}),
         0,
         {}},
        {"not ascending", indexed(std::nullopt, Offsets{at[1], at[0], at[2]}), 0, {}},
        {"beyond the file", indexed(std::nullopt, Offsets{at[0], at[1], 1000000000}), 0, {}},
        {"negative", indexed(std::nullopt, Offsets{-5, at[1], at[2]}), 0, {}},
    };
    for (const Case& c : cases) {
        Harness h;
        EXPECT_TRUE(h.open(c.content)) << c.what;
        EXPECT_EQ(h.reader.open_state, 0u) << c.what;
        EXPECT_EQ(h.reader.offsets, with_end(at, base.run_end_offset())) << c.what;
        EXPECT_EQ(h.events().count(BUILDING_INDEX), 1u) << c.what;
        if (c.reason) {
            EXPECT_EQ(h.args_of(c.reason), c.reason_args) << c.what;
        }
    }
}

// The soundness check reads scan starts a block at a time; a bad entry
// must be caught wherever it falls among the blocks.
TEST(ScanIndexTest, SoundnessCheckCoversEveryEntryAcrossBlocks) {
    MzXmlWriter w;
    w.begin(60);
    for (int i = 0; i < 60; ++i) {
        ScanSpec spec;
        spec.values.assign(1200, 1.5); // about 6 KiB a scan, several blocks in all
        w.scan(spec);
    }
    w.end_run();
    for (std::size_t bad : {std::size_t{0}, std::size_t{16}, std::size_t{17}, std::size_t{59}}) {
        Offsets shifted = w.scan_offsets();
        shifted[bad] += 1;
        Harness h;
        EXPECT_TRUE(h.open(MzXmlWriter(w).index(std::nullopt, shifted).str())) << bad;
        EXPECT_EQ(h.events().count(BUILDING_INDEX), 1u) << bad;
        EXPECT_EQ(h.reader.offsets, with_end(w.scan_offsets(), w.run_end_offset())) << bad;
    }
    Harness h;
    EXPECT_TRUE(h.open(MzXmlWriter(w).index().str()));
    EXPECT_EQ(h.events().count(BUILDING_INDEX), 0u);
}

// Counts positioned reads (the soundness check's) and can make them fail.
struct ReadAtSpy {
    static inline int calls = 0;
    static inline bool fail = false;
    PAL::os::Syscalls saved = PAL::os::syscalls();

    explicit ReadAtSpy(bool failing) {
        calls = 0;
        fail = failing;
        PAL::os::syscalls().file_read_at = [](std::intptr_t handle, std::int64_t offset,
                                              void* buffer, std::uint32_t count,
                                              std::uint32_t& error) -> std::int64_t {
            ++calls;
            if (fail) {
                error = 5;
                return -1;
            }
            return PAL::os::native_syscalls().file_read_at(handle, offset, buffer, count, error);
        };
    }
    ~ReadAtSpy() { PAL::os::syscalls() = saved; }
};

TEST(ScanIndexTest, SoundnessCheckReadsBlocksNotScans) {
    MzXmlWriter w;
    w.begin(60);
    for (int i = 0; i < 60; ++i) {
        ScanSpec spec;
        spec.values.assign(1200, 2.5);
        w.scan(spec);
    }
    w.end_run().index();
    Harness h;
    ReadAtSpy spy(false);
    ASSERT_TRUE(h.open(w.str()));
    EXPECT_EQ(h.events().count(BUILDING_INDEX), 0u);
    const auto span = w.scan_offsets().back() - w.scan_offsets().front();
    EXPECT_GT(ReadAtSpy::calls, 0) << "every entry is checked";
    EXPECT_LE(ReadAtSpy::calls, span / MzXMLReader::SCAN_BUFFER_SIZE + 1);
}

TEST(ScanIndexTest, ReadErrorsEndInTheIndexErrors) {
    MzXmlWriter w = run_of(2, 2);
    w.end_run().index();
    Harness h;
    ReadAtSpy spy(true);
    EXPECT_FALSE(h.open(w.str()));
    EXPECT_EQ(h.reader.open_state, 2u);
    EXPECT_EQ(h.events().count(BUILDING_INDEX), 1u);
    EXPECT_EQ(h.args_of(SCANS_FOUND_DIFFER), (Args{L"0", L"2"}));
}

// ---- building the index by search -------------------------------------------

TEST(ScanIndexTest, SearchCountsNestedScansAndStopsAtOneTooMany) {
    struct Case {
        const char* what;
        int scans;
        int declared;
        bool result;
        Args found_differs; // empty when the counts agree
        std::size_t entries;
    };
    const Case cases[] = {
        {"as declared", 3, 3, true, {}, 4},
        {"one more than declared", 3, 2, false, {L"3", L"2"}, 3},
        {"fewer than declared", 2, 4, false, {L"2", L"4"}, 3},
    };
    for (const Case& c : cases) {
        Harness h;
        MzXmlWriter w = run_of(c.scans, c.declared);
        EXPECT_EQ(h.open(w.end_run().no_index().str()), c.result) << c.what;
        EXPECT_EQ(h.reader.open_state, c.result ? 0u : 2u) << c.what;
        EXPECT_EQ(h.reader.offsets.size(), c.entries) << c.what;
        EXPECT_EQ(h.reader.offsets.back(), w.run_end_offset()) << c.what;
        if (c.found_differs.empty()) {
            EXPECT_EQ(h.events().count(SCANS_FOUND_DIFFER), 0u) << c.what;
        } else {
            EXPECT_EQ(h.args_of(SCANS_FOUND_DIFFER), c.found_differs) << c.what;
            EXPECT_EQ(h.events().with_id(SCANS_FOUND_DIFFER)[0].level, 1u);
        }
    }

    // A scan nested in another counts where it starts.
    Harness h;
    MzXmlWriter w;
    ScanSpec outer;
    outer.inner = MzXmlWriter::scan_element(ScanSpec{}, 2);
    w.begin(2).scan(outer).end_run().no_index();
    ASSERT_TRUE(h.open(w.str()));
    EXPECT_EQ(h.reader.offsets.size(), 3u);
    EXPECT_EQ(h.reader.offsets[1],
              static_cast<std::int64_t>(w.str().find("<scan", w.scan_offsets()[0] + 1)));
}

// Texts that straddle two 100 KiB reads are found once, at their place.
TEST(ScanIndexTest, SearchFindsTagsSplitAcrossReads) {
    constexpr std::int64_t block = MzXMLReader::SCAN_BUFFER_SIZE;
    for (std::int64_t scan_at :
         {block - 6, block - 5, block - 4, block - 1, block, 2 * block - 3}) {
        MzXmlWriter w = run_of(1, 2);
        w.text(std::string(static_cast<std::size_t>(scan_at - 4 -
                                                    static_cast<std::int64_t>(w.str().size()) - 1),
                           ' ') +
               "\n");
        w.scan(ScanSpec{});
        ASSERT_EQ(w.scan_offsets()[1], scan_at);
        w.end_run().no_index();
        Harness h;
        ASSERT_TRUE(h.open(w.str())) << scan_at;
        EXPECT_EQ(h.reader.offsets, with_end(w.scan_offsets(), w.run_end_offset())) << scan_at;
    }
    for (std::int64_t end_at : {block - 8, block - 7, block - 4, block - 1, block}) {
        MzXmlWriter w = run_of(2, 2);
        w.text(std::string(static_cast<std::size_t>(end_at - 2 -
                                                    static_cast<std::int64_t>(w.str().size()) - 1),
                           ' ') +
               "\n");
        w.end_run().no_index();
        ASSERT_EQ(w.run_end_offset(), end_at);
        Harness h;
        ASSERT_TRUE(h.open(w.str())) << end_at;
        EXPECT_EQ(h.reader.offsets.back(), end_at) << end_at;
    }
}

TEST(ScanIndexTest, WithoutRunEndTheLastScanRunsToTheEndOfTheFile) {
    MzXmlWriter w = run_of(2, 2);
    w.no_index();
    Harness h;
    ASSERT_TRUE(h.open(w.str()));
    EXPECT_EQ(h.reader.offsets,
              with_end(w.scan_offsets(), static_cast<std::int64_t>(w.str().size())));
}

// A declared count the file cannot hold ends in the index errors, and the
// reader reserves no more than the file could hold.
TEST(ScanIndexTest, ImpossibleScanCountsReserveOnlyWhatTheFileCanHold) {
    for (int declared : {2147483647, -1}) {
        for (bool indexed : {true, false}) {
            MzXmlWriter w = run_of(2, declared);
            w.end_run();
            const std::string content = indexed ? w.index().str() : w.no_index().str();
            Harness h;
            EXPECT_FALSE(h.open(content)) << declared;
            EXPECT_EQ(h.reader.open_state, 2u) << declared;
            EXPECT_EQ(h.reader.scanCount, static_cast<std::uint32_t>(declared));
            EXPECT_LE(h.reader.offsets.capacity(), content.size() / 5 + 1) << declared;
            EXPECT_EQ(h.args_of(SCANS_FOUND_DIFFER),
                      (Args{L"2", std::to_wstring(static_cast<std::uint32_t>(declared))}));
            if (indexed) {
                EXPECT_EQ(h.events().count(ENTRIES_DIFFER), 1u);
            }
        }
    }
}

TEST(ScanIndexTest, IndexStepsReachTheCallersProgressNode) {
    for (bool indexed : {true, false}) {
        fixture::RecordingSocket progress_events;
        PAL::SmartPtr<PAL::Progress> root(
            new PAL::Progress(progress_events.socket, PAL::Message(0x4C000001), 1, 1));
        MzXmlWriter w = run_of(4, 4);
        w.end_run();
        Harness h;
        ASSERT_TRUE(h.open(indexed ? w.index().str() : w.no_index().str(), false, root));
        EXPECT_EQ(progress_events.listener.percentages(),
                  (std::vector<std::uint16_t>{25, 50, 75, 100}))
            << indexed;
        EXPECT_TRUE(root->children.empty()) << "the index's node is released";
    }
}

} // namespace
