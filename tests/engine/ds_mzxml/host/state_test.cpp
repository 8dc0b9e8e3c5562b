// The data source's states (New, Peeked, Listed) against every operation,
// and the ways an open can fail.
#include "plugin_host.h"

#include <functional>

namespace {

using host::Failure;
using host::raises;

const Failure not_open{0x80040801, 0xC8020001, {}};
const Failure already_open{0x80040800, 0xC8020000, {}};

struct Operation {
    const char* name;
    int order;
    std::function<void(orvoeng::DataSourceIntf&)> call;
};

// Operations 4 to 13, in their interface order.
const std::vector<Operation> operations = {
    {"data_set_count", 4, [](auto& s) { EXPECT_EQ(s.data_set_count(), 1u); }},
    {"get_instrument_info", 5, [](auto& s) { EXPECT_EQ(s.get_instrument_info().count(0), 1u); }},
    {"get_completion_time", 6, [](auto& s) { EXPECT_EQ(s.get_completion_time(), 0); }},
    {"is_open", 7, [](auto& s) { EXPECT_TRUE(s.is_open()); }},
    {"is_centroided", 8, [](auto& s) { EXPECT_TRUE(s.is_centroided()); }},
    {"get_scan_mix", 9, [](auto& s) { EXPECT_EQ(s.get_scan_mix(), 0); }},
    {"listed_data_set_count", 10, [](auto& s) { EXPECT_EQ(s.listed_data_set_count(), 1u); }},
    {"get_scan_count", 11, [](auto& s) { EXPECT_EQ(s.get_scan_count(), 1u); }},
    {"get_raw_spec_info", 12,
     [](auto& s) {
         orvoeng::RawSpecInfo info;
         s.get_raw_spec_info(1, 0, info);
         EXPECT_EQ(info.peak_count, 1u);
     }},
    {"get_spectrum", 13, [](auto& s) { EXPECT_EQ(s.get_spectrum(1, 0, {})->peaks->size(), 1u); }},
};

// Paths are handed over as wide text, as a host holds them: a path the
// machine's code page cannot represent is no std::filesystem::path.
void peek(orvoeng::DataSourceIntf& source, const std::wstring& path, int selector = 1) {
    source.peek_file(path, selector, {});
}

void open(orvoeng::DataSourceIntf& source, const std::wstring& path, int selector = 1) {
    const auto opts = host::options();
    source.open_file(path, selector, &opts, 1, {}, {});
}

class States : public ::testing::Test {
protected:
    fixture::TempDir dir;
    std::wstring file = dir.write("one.mzXML", host::mzxml({host::scan(1)})).wstring();
    std::unique_ptr<orvoeng::DataSourceIntf> source = host::create();

    // Operations up to `last_allowed` pass their guard; the rest refuse.
    void expect_guards(int last_allowed) {
        for (const auto& op : operations) {
            if (op.order <= last_allowed)
                EXPECT_NO_THROW(op.call(*source)) << op.name;
            else
                EXPECT_TRUE(raises([&] { op.call(*source); }, not_open)) << op.name;
        }
    }
    void expect_no_second_open() {
        EXPECT_TRUE(raises([&] { peek(*source, file); }, already_open));
        EXPECT_TRUE(raises([&] { open(*source, file); }, already_open));
    }
};

TEST_F(States, NewRefusesEverythingButOpening) {
    EXPECT_EQ(source->revision(), 1u);
    expect_guards(3);
}

TEST_F(States, PeekedAnswersRunQuestionsOnly) {
    peek(*source, file);
    expect_guards(7);
    expect_no_second_open();
}

TEST_F(States, ListedAnswersEverything) {
    open(*source, file);
    expect_guards(13);
    expect_no_second_open();
}

TEST_F(States, SelectorOtherThanOneIsRefusedAndLeavesTheObjectNew) {
    const Failure bad_selector{0x80040804, 0xC8020004, {}};
    EXPECT_TRUE(raises([&] { peek(*source, file, 2); }, bad_selector));
    EXPECT_TRUE(raises([&] { open(*source, file, 2); }, bad_selector));
    EXPECT_TRUE(raises([&] { source->data_set_count(); }, not_open));
    open(*source, file);
    EXPECT_EQ(source->get_scan_count(), 1u);
}

TEST_F(States, MissingFileIsRefusedWithoutReason) {
    const auto missing = (dir.path() / "missing.mzXML").wstring();
    const Failure refused{0x80040802, 0xC8020002, {missing}};
    EXPECT_TRUE(raises([&] { peek(*source, missing); }, refused));
    EXPECT_TRUE(raises([&] { open(*source, missing); }, refused));
    EXPECT_TRUE(raises([&] { source->is_open(); }, not_open));
}

TEST_F(States, OtherFormatsAndVersionsAreRefusedWithTheSchemaReason) {
    const std::string reason = "Document does not conform to version 2.0 of mzXML schema";
    const std::vector<std::pair<const char*, std::string>> files = {
        {"peaks.mgf", "BEGIN IONS\nPEPMASS=500.5\n100.0 10.0\nEND IONS\n"},
        {"v3.mzXML",
         [] {
             fixture::MzXmlWriter writer("mzXML_3.2");
             return writer.begin(1).scan(host::scan(1)).end_run().index().str();
         }()},
    };
    for (const auto& [name, bytes] : files) {
        const auto path = dir.write(name, bytes).wstring();
        auto fresh = host::create();
        const Failure refused{0x80040802, 0xC8020003, {path, host::wide(reason)}};
        EXPECT_TRUE(raises([&] { peek(*fresh, path); }, refused)) << name;
        EXPECT_TRUE(raises([&] { open(*fresh, path); }, refused)) << name;
    }
}

TEST_F(States, FailedWalkLeavesTheFileOpenAndListed) {
    const auto bad = dir.write("bad.mzXML", host::mzxml({host::scan(0)})).wstring();
    EXPECT_TRUE(host::asserts([&] { open(*source, bad); }, L"MS level range error"));
    EXPECT_EQ(source->get_scan_count(), 1u);
    EXPECT_TRUE(raises([&] { open(*source, file); }, already_open));
}

// ---- the path check -------------------------------------------------------------

TEST(PathCheck, PathOutsideTheUsersCodePageIsRefusedWithFourArguments) {
    if (!fixture::has_locale("en_US.iso88591"))
        GTEST_SKIP() << "locale en_US.iso88591 is not installed";
    fixture::ScopedEnv lc_all("LC_ALL", "en_US.iso88591");
    fixture::TempDir dir;
    const std::wstring path = dir.path().wstring() + L"/r\u00e9sum\u00e9-\u4e2d.mzXML";
    const std::wstring offset = std::to_wstring(path.find(L'\u4e2d'));
    const Failure refused{
        0x80040424,
        0xC8010024,
        {L"en_US.iso88591", path, L"Character sequence invalid or has no mapping", offset}};
    auto source = host::create();
    EXPECT_TRUE(raises([&] { peek(*source, path); }, refused));
    EXPECT_TRUE(raises([&] { open(*source, path); }, refused));
}

// A locale the environment names but the machine lacks must not let the
// standard library's error reach the host: the classic locale stands in.
TEST(PathCheck, UnknownLocaleFallsBackToTheClassicOne) {
    fixture::ScopedEnv lc_all("LC_ALL", "xx_YY.NOPE-8");
    fixture::TempDir dir;
    auto source = host::create();
    const std::wstring missing = dir.path().wstring() + L"/missing.mzXML";
    EXPECT_TRUE(raises([&] { peek(*source, missing); }, {0x80040802, 0xC8020002, {missing}}));

    const std::wstring foreign = dir.path().wstring() + L"/\u4e2d.mzXML";
    const std::wstring offset = std::to_wstring(foreign.find(L'\u4e2d'));
    EXPECT_TRUE(raises([&] { peek(*source, foreign); },
                       {0x80040424,
                        0xC8010024,
                        {L"C", foreign, L"Character sequence invalid or has no mapping", offset}}));
}

} // namespace
