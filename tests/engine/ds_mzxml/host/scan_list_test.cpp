// open_file's scan walk: labels, parents, precursors, scan mix, centroiding
// against the host's options, and progress and events on the way.
#include "plugin_host.h"

#include <algorithm>

namespace {

using host::Failure;
using host::Opened;
using host::raises;
using orvoeng::NO_CHARGE;
using orvoeng::NO_LABEL;

fixture::ScanSpec ms2(std::string precursor) {
    auto spec = host::scan(2);
    spec.precursor = std::move(precursor);
    return spec;
}

class ScanList : public ::testing::Test {
protected:
    fixture::TempDir dir;
    std::filesystem::path write(const std::vector<fixture::ScanSpec>& scans,
                                const std::string& head = host::centroided_run) {
        return dir.write("run.mzXML", host::mzxml(scans, head));
    }
};

TEST_F(ScanList, LabelsParentsAndPrecursorsFollowFileOrder) {
    std::vector<fixture::ScanSpec> scans = {
        host::scan(1),
        ms2("<precursorMz precursorCharge=\"2\">445.5</precursorMz>"),
        ms2("<precursorMz>446.25</precursorMz>"),
        host::scan(1),
        ms2("<precursorMz precursorCharge=\"3\">512.0</precursorMz>"),
        ms2("<precursorMz precursorCharge=\"2\">200.0</precursorMz>")};
    scans[5].ms_level = 3; // deeper scans have neither parent nor precursor
    scans[0].polarity = "-";
    scans[0].retention_time = "PT12.5S";
    scans[0].extra_attributes = "totIonCurrent=\"1500.5\"";
    Opened run(write(scans));

    const std::vector<std::uint32_t> parents = {NO_LABEL, 1, 1, NO_LABEL, 4, NO_LABEL};
    const std::vector<double> precursors = {0.0, 445.5, 446.25, 0.0, 512.0, 0.0};
    const std::vector<std::int16_t> charges = {NO_CHARGE, 2, NO_CHARGE, NO_CHARGE, 3, NO_CHARGE};
    ASSERT_EQ(run.scans().size(), 6u);
    for (std::uint32_t i = 0; i < 6; ++i) {
        const auto& record = run.scans()[i];
        EXPECT_EQ(record.label, i + 1);
        EXPECT_EQ(record.file_position, i + 1);
        EXPECT_EQ(record.parent_label, parents[i]) << i;
        EXPECT_EQ(record.precursor_mz, precursors[i]) << i;
        EXPECT_EQ(record.precursor_charge, charges[i]) << i;
        EXPECT_EQ(record.format_code, 4u);
        EXPECT_EQ(record.scan_type.mode, 0);
        EXPECT_EQ(record.scan_type.ms_level, scans[i].ms_level);
    }
    EXPECT_EQ(run.scans()[0].scan_type.polarity, 1);
    EXPECT_EQ(run.scans()[1].scan_type.polarity, 0);
    EXPECT_EQ(run.scans()[0].retention_time, 12.5);
    EXPECT_EQ(run.scans()[0].total_ion_current, 1500.5);
    EXPECT_EQ(run.source->get_scan_mix(), 5);
    EXPECT_EQ(run.source->get_scan_count(), 6u);
}

TEST_F(ScanList, ScanMixCountsEveryScanOfTheFile) {
    const std::vector<std::pair<std::vector<int>, int>> cases = {
        {{1}, 0},     {{2}, 2},    {{3}, -1},   {{1, 1}, 1}, {{2, 2}, 3},
        {{3, 3}, -1}, {{1, 3}, 1}, {{2, 3}, 3}, {{}, -1},
    };
    for (const auto& [levels, mix] : cases) {
        std::vector<fixture::ScanSpec> scans;
        for (int level : levels)
            scans.push_back(host::scan(level));
        Opened run(write(scans));
        EXPECT_EQ(run.source->get_scan_mix(), mix) << ::testing::PrintToString(levels);
        EXPECT_EQ(run.scans().size(), levels.size());
    }
}

// The range is judged on the full value written: a 16-bit cut would turn
// 65539 into 3 and -65533 into 3.
TEST_F(ScanList, PrecursorChargeKeptOnlyFromOneToFortyEitherSign) {
    const std::vector<std::pair<const char*, std::int16_t>> cases = {
        {"-3", -3},
        {"1", 1},
        {"40", 40},
        {"-40", -40},
        {"0", NO_CHARGE},
        {"41", NO_CHARGE},
        {"-41", NO_CHARGE},
        {"65539", NO_CHARGE},
        {"-65533", NO_CHARGE},
        {"2147483647", NO_CHARGE},
    };
    std::vector<fixture::ScanSpec> scans;
    for (const auto& [charge, expected] : cases)
        scans.push_back(
            ms2(std::string("<precursorMz precursorCharge=\"") + charge + "\">400</precursorMz>"));
    Opened run(write(scans));
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(run.scans()[i].precursor_charge, cases[i].second) << cases[i].first;
}

TEST_F(ScanList, FirstLabelShiftsEveryLabel) {
    Opened run(write({host::scan(1), ms2("<precursorMz>300</precursorMz>"), host::scan(1)}),
               host::options(), 100);
    EXPECT_EQ(run.scans()[0].label, 100u);
    EXPECT_EQ(run.scans()[1].parent_label, 100u);
    EXPECT_EQ(run.scans()[2].label, 102u);
    EXPECT_EQ(run.source->get_spectrum(102, 0, {})->peaks->size(), 1u);
    EXPECT_TRUE(
        raises([&] { run.source->get_spectrum(103, 0, {}); }, {0x80040808, 0xC8020008, {L"103"}}));
    EXPECT_TRUE(
        raises([&] { run.source->get_spectrum(99, 0, {}); }, {0x80040808, 0xC8020008, {L"99"}}));
}

TEST_F(ScanList, NoLabelAboveTheLimit) {
    Opened run(write({host::scan(1), host::scan(1)}), host::options(), orvoeng::MAX_LABEL - 1);
    EXPECT_EQ(run.scans()[1].label, orvoeng::MAX_LABEL);

    const auto three =
        dir.write("three.mzXML", host::mzxml({host::scan(1), host::scan(1), host::scan(1)}));
    EXPECT_TRUE(raises([&] { Opened past(three, host::options(), orvoeng::MAX_LABEL - 1); },
                       {0x80040819, 0xC8020019, {}}));
}

// Labels near the top of the 32-bit range must not wrap into validity when
// a spectrum is looked up.
TEST_F(ScanList, LabelLookupDoesNotWrapAtTheTopOfTheRange) {
    std::vector<fixture::ScanSpec> scans;
    for (int i = 0; i < 8; ++i)
        scans.push_back(host::scan(1, {100.0 + i, 10.0}));
    const auto path = write(scans);
    auto source = host::create();
    const auto opts = host::options();
    const std::uint32_t first = 0xFFFFFFFA; // first + 8 wraps to 2
    EXPECT_TRUE(raises([&] { source->open_file(path.wstring(), 1, &opts, first, {}, {}); },
                       {0x80040819, 0xC8020019, {}}));
    // The walk failed, but the file is open and its scans can be reached.
    EXPECT_EQ((*source->get_spectrum(first + 1, 0, {})->peaks)[0].mz, 101.0);
    EXPECT_EQ((*source->get_spectrum(0xFFFFFFFF, 0, {})->peaks)[0].mz, 105.0);
    for (std::uint32_t label : {0u, 1u, 3u, first - 1})
        EXPECT_TRUE(raises([&] { source->get_spectrum(label, 0, {}); },
                           {0x80040808, 0xC8020008, {std::to_wstring(label)}}))
            << label;
}

TEST_F(ScanList, UnreadableHeaderNamesItsPosition) {
    auto second = host::scan(1);
    second.num = 7;
    EXPECT_TRUE(raises(
        [&] {
            Opened run(write({host::scan(1), second}));
        },
        {0x8004081A, 0xC802001A, {L"2"}}));
}

TEST_F(ScanList, ProfileDataFromMzStarAreRefused) {
    const auto processing = [](const char* centroided) {
        return std::string("    <dataProcessing centroided=\"") + centroided +
               "\">\n      <software type=\"conversion\" name=\"mzStar 1.0.4\"/>\n"
               "    </dataProcessing>\n";
    };
    EXPECT_TRUE(raises([&] { Opened run(write({host::scan(1)}, processing("0"))); },
                       {0x80040847, 0xC8020047, {}}));
    Opened run(write({host::scan(1)}, processing("1")));
    EXPECT_TRUE(run.source->is_centroided());
}

TEST_F(ScanList, CentroidingComesFromTheFileOrFromTheHostNeverBoth) {
    const auto stated = write({host::scan(1)});
    EXPECT_TRUE(
        raises([&] { Opened run(stated, host::options(8, true)); }, {0x8004081B, 0xC802001B, {}}));
    EXPECT_TRUE(raises([&] { Opened run(stated, host::options(1)); }, {0x8004081B, 0xC802001B, {}}))
        << "any flag at all conflicts with a stated centroiding";

    const auto unstated = dir.write("unstated.mzXML", host::mzxml({host::scan(1)}, ""));
    EXPECT_TRUE(
        raises([&] { Opened run(unstated, host::options(0)); }, {0x8004080F, 0xC802000F, {}}));
    EXPECT_TRUE(raises([&] { Opened run(unstated, host::options(7, true)); },
                       {0x8004080F, 0xC802000F, {}}));
    EXPECT_TRUE(Opened(unstated, host::options(8, true)).source->is_centroided());
    EXPECT_FALSE(Opened(unstated, host::options(8, false)).source->is_centroided());
}

TEST_F(ScanList, WalkReportsItsStartAndProgressToTheHost) {
    fixture::RecordingSocket sink;
    const auto path = write({host::scan(1), host::scan(2), host::scan(1)});
    auto source = host::create();
    const auto opts = host::options();
    {
        PAL::SmartPtr<PAL::Progress> root(
            new PAL::Progress(sink.socket, PAL::Message(0x4C020001), 1, 1));
        source->open_file(path.wstring(), 1, &opts, 1, sink.socket, root);
        const auto percentages = sink.listener.percentages();
        ASSERT_FALSE(percentages.empty());
        EXPECT_TRUE(std::is_sorted(percentages.begin(), percentages.end()));
        EXPECT_EQ(percentages.back(), 100) << "the plug-in's node fills the root's one step";
    }
    const auto starts = sink.listener.with_id(0x4C020006);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].level, 4u);
    EXPECT_TRUE(starts[0].args.empty());
}

} // namespace
