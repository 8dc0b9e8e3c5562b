#include "scan_reader.h"
#include "support/recording_listener.h"

#include <pal/exception.h>
#include <pal/string.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using fixture::MzXmlWriter;
using fixture::ReadRecorder;
using fixture::ScanFile;
using fixture::ScanSpec;

constexpr std::uint32_t MISSING_ATTRIBUTES = 0xCC0236B3;
constexpr std::uint32_t COUNT_MISMATCH = 0xCC0236B4;

struct Peaks {
    bool result = false;
    bool centroided = false;
    std::vector<double> mz;
    std::vector<double> intensity;
};

Peaks read_peaks(ScanFile& file, std::uint32_t scan,
                 const PAL::SmartPtr<PAL::EventSocket>& socket = {}) {
    Peaks peaks;
    peaks.result =
        file.reader.read_peaks(scan, peaks.centroided, peaks.mz, peaks.intensity, socket);
    return peaks;
}

// The scan under test is the second of two, so events name scan 2.
MzXmlWriter file_with(const ScanSpec& spec) {
    ScanSpec first;
    first.values = {50.0, 1.0};
    MzXmlWriter writer;
    writer.begin(2).scan(first).scan(spec).end_run().no_index();
    return writer;
}

// Base64 with blanks and line breaks between its groups of four.
std::string broken_into_groups(const std::string& base64) {
    std::string out = " \r\n\t";
    for (std::size_t i = 0; i < base64.size(); i += 4)
        out += base64.substr(i, 4) + (i % 8 == 0 ? "\n      " : " ");
    return out + "\r\n";
}

// ---- decoded lists ----------------------------------------------------------

struct DecodeCase {
    const char* name;
    ScanSpec spec;
    std::vector<double> mz;
    std::vector<double> intensity;
};

ScanSpec spec_of(std::vector<double> values, int precision = 32) {
    ScanSpec spec;
    spec.values = std::move(values);
    spec.precision = precision;
    return spec;
}

std::vector<DecodeCase> decode_cases() {
    std::vector<DecodeCase> cases;
    cases.push_back(
        {"Single", spec_of({100.5, 10.0, 200.25, 20.0}), {100.5, 200.25}, {10.0, 20.0}});
    cases.push_back({"FloatsWidened",
                     spec_of({0.1, 0.2}),
                     {static_cast<double>(0.1f)},
                     {static_cast<double>(0.2f)}});
    cases.push_back({"Double", spec_of({0.1, 0.2, 1e300, 5.0}, 64), {0.1, 1e300}, {0.2, 5.0}});
    {
        ScanSpec s = spec_of({});
        s.peaks_count = 0;
        s.peaks_text = "not base64 at all!";
        cases.push_back({"CountZeroLeavesPeaksUnread", s, {}, {}});
    }
    cases.push_back({"OneAllZeroPairIsEmpty", spec_of({0.0, 0.0}), {}, {}});
    cases.push_back({"OnePairWithZeroMz", spec_of({0.0, 5.0}), {0.0}, {5.0}});
    {
        ScanSpec s = spec_of({1, 2, 3, 4, 5, 6, 7});
        s.peaks_count = 3;
        cases.push_back({"SeventhValueIgnored", s, {1, 3, 5}, {2, 4, 6}});
    }
    {
        ScanSpec s = spec_of({1, 2});
        s.peaks_attributes =
            "precision=\"64\" byteOrder=\"network\" pairOrder=\"m/z-int\" precision=\"32\"";
        cases.push_back({"BothPrecisionsReadAs32", s, {1}, {2}});
    }
    {
        ScanSpec s = spec_of({1, 2, 3, 4, 5, 6}, 64);
        s.peaks_attributes = "precision=\"64\"\n      byteOrder=\"network\"\n      "
                             "pairOrder=\"m/z-int\"";
        s.peaks_text = broken_into_groups(fixture::encode_values(s.values, 64));
        cases.push_back({"TagAndTextOverLines", s, {1, 3, 5}, {2, 4, 6}});
    }
    return cases;
}

class PeakDecoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(PeakDecoding, FillsBothLists) {
    ScanFile file(file_with(GetParam().spec));
    fixture::RecordingSocket events;
    const Peaks peaks = read_peaks(file, 2, events.socket);
    EXPECT_TRUE(peaks.result);
    EXPECT_EQ(peaks.mz, GetParam().mz);
    EXPECT_EQ(peaks.intensity, GetParam().intensity);
    EXPECT_TRUE(events.listener.events.empty());
}

INSTANTIATE_TEST_SUITE_P(Scan, PeakDecoding, ::testing::ValuesIn(decode_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- data that cannot be decoded ----------------------------------------------

struct ErrorCase {
    const char* name;
    ScanSpec spec;
    std::int32_t code;
};

std::vector<ErrorCase> error_cases() {
    std::vector<ErrorCase> cases;
    auto with_count = [](std::vector<double> values, int count) {
        ScanSpec s = spec_of(std::move(values));
        s.peaks_count = count;
        return s;
    };
    cases.push_back(
        {"FiveValuesForThreePeaks", with_count({1, 2, 3, 4, 5}, 3), PAL::DECODE_INPUT_EXHAUSTED});
    cases.push_back({"EightValuesForThreePeaks", with_count({1, 2, 3, 4, 5, 6, 7, 8}, 3),
                     PAL::DECODE_OUTPUT_EXHAUSTED});
    cases.push_back({"NegativeCount", with_count({1, 2}, -5), PAL::DECODE_INPUT_EXHAUSTED});
    cases.push_back(
        {"CountNoTextCanHold", with_count({1, 2}, 2147483647), PAL::DECODE_INPUT_EXHAUSTED});
    {
        ScanSpec s = with_count({}, 2);
        s.peaks_text = "";
        cases.push_back({"EmptyText", s, PAL::DECODE_INPUT_EXHAUSTED});
    }
    {
        ScanSpec s = spec_of({1, 2, 3, 4});
        const std::string text = fixture::encode_values(s.values, 32);
        s.peaks_text = text.substr(0, 2) + "\n" + text.substr(2);
        cases.push_back({"LineFeedInsideAGroup", s, PAL::DECODE_ILLEGAL_CHARACTER});
    }
    return cases;
}

class PeakErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(PeakErrors, RaiseDecodeErrorsAndLeaveTheListsEmpty) {
    ScanFile file(file_with(GetParam().spec));
    bool centroided = false;
    std::vector<double> mz;
    std::vector<double> intensity;
    try {
        file.reader.read_peaks(2, centroided, mz, intensity, {});
        ADD_FAILURE() << "no error raised";
    } catch (const PAL::StrDecodeError& error) {
        EXPECT_EQ(error.error, GetParam().code);
    }
    EXPECT_TRUE(mz.empty());
    EXPECT_TRUE(intensity.empty());
}

INSTANTIATE_TEST_SUITE_P(Scan, PeakErrors, ::testing::ValuesIn(error_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- unsupported or missing peaks ---------------------------------------------

struct AttributeCase {
    const char* name;
    const char* attributes;
    const wchar_t* missing;
};

class PeakAttributes : public ::testing::TestWithParam<AttributeCase> {};

TEST_P(PeakAttributes, AreNamedThenTheScanFails) {
    ScanSpec spec = spec_of({1, 2, 3, 4});
    spec.peaks_attributes = GetParam().attributes;
    ScanFile file(file_with(spec));
    fixture::RecordingSocket events;
    const Peaks peaks = read_peaks(file, 2, events.socket);
    EXPECT_FALSE(peaks.result);
    EXPECT_TRUE(peaks.mz.empty());
    ASSERT_EQ(events.listener.ids(),
              (std::vector<std::uint32_t>{MISSING_ATTRIBUTES, COUNT_MISMATCH}));
    const auto& missing = events.listener.events[0];
    EXPECT_EQ(missing.level, 1u);
    EXPECT_EQ(missing.args, (std::vector<std::wstring>{L"2", GetParam().missing}));
    EXPECT_EQ(events.listener.events[1].args, (std::vector<std::wstring>{L"2", L"2", L"0"}));
}

INSTANTIATE_TEST_SUITE_P(
    Scan, PeakAttributes,
    ::testing::Values(
        AttributeCase{"LittleEndian", "precision=\"32\" byteOrder=\"little\" pairOrder=\"m/z-int\"",
                      L"byteOrder=\"network\""},
        AttributeCase{"NoPrecisionNoPairOrder", "byteOrder=\"network\"",
                      L"precision=(\"32\" or \"64\"),pairOrder=\"m/z-int\""},
        AttributeCase{"Precision16", "precision=\"16\" byteOrder=\"network\" pairOrder=\"m/z-int\"",
                      L"precision=(\"32\" or \"64\")"},
        AttributeCase{"OtherPairOrder",
                      "precision=\"64\" byteOrder=\"network\" pairOrder=\"int-m/z\"",
                      L"pairOrder=\"m/z-int\""},
        AttributeCase{"NoneAtAll", "compressionType=\"none\"",
                      L"precision=(\"32\" or \"64\"),byteOrder=\"network\",pairOrder=\"m/z-int\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PeakList, MissingPeaksElementFailsTheScan) {
    ScanSpec spec = spec_of({1, 2, 3, 4});
    spec.no_peaks_element = true;
    ScanFile file(file_with(spec));
    fixture::RecordingSocket events;
    EXPECT_FALSE(read_peaks(file, 2, events.socket).result);
    ASSERT_EQ(events.listener.ids(), std::vector<std::uint32_t>{COUNT_MISMATCH});
    EXPECT_EQ(events.listener.events[0].level, 1u);
    EXPECT_EQ(events.listener.events[0].args, (std::vector<std::wstring>{L"2", L"2", L"0"}));
    EXPECT_FALSE(read_peaks(file, 2).result) << "also without a socket";
}

TEST(PeakList, CentroidedIsWrittenOnlyWhenTheScanSaysSo) {
    for (const auto& [attribute, before, after] :
         std::vector<std::tuple<std::string, bool, bool>>{{"centroided=\"1\"", false, true},
                                                          {"centroided=\"0\"", true, false},
                                                          {"", true, true},
                                                          {"", false, false}}) {
        ScanSpec spec = spec_of({1, 2});
        spec.extra_attributes = attribute;
        ScanFile file(file_with(spec));
        bool centroided = before;
        std::vector<double> mz;
        std::vector<double> intensity;
        ASSERT_TRUE(file.reader.read_peaks(2, centroided, mz, intensity, {}));
        EXPECT_EQ(centroided, after) << attribute;
    }
}

// ---- reads ----------------------------------------------------------------------

TEST(PeakReads, OneReadSizedToTheScan) {
    MzXmlWriter writer = file_with(spec_of({1, 2, 3, 4}));
    ScanFile file(writer);
    ReadRecorder recorder;
    ASSERT_TRUE(read_peaks(file, 1).result);
    ASSERT_EQ(ReadRecorder::reads().size(), 1u);
    EXPECT_EQ(ReadRecorder::reads()[0].offset, writer.scan_offsets()[0]);
    EXPECT_EQ(ReadRecorder::reads()[0].count, writer.scan_offsets()[1] - writer.scan_offsets()[0]);
}

TEST(PeakReads, LastScanEndsAtTheEndEntry) {
    ScanSpec first = spec_of({1, 2});
    ScanSpec last = spec_of({3, 4, 5, 6}, 64);
    MzXmlWriter writer;
    writer.begin(2).scan(first).scan(last).end_run().index();
    ScanFile file(writer);
    ReadRecorder recorder;
    const Peaks peaks = read_peaks(file, 2);
    ASSERT_TRUE(peaks.result);
    EXPECT_EQ(peaks.mz, (std::vector<double>{3, 5}));
    EXPECT_EQ(ReadRecorder::furthest(), writer.index_offset());
}

TEST(PeakReads, PositionsOutsideTheScansPostNothing) {
    ScanFile file(file_with(spec_of({1, 2})));
    fixture::RecordingSocket events;
    ReadRecorder recorder;
    EXPECT_FALSE(read_peaks(file, 0, events.socket).result);
    EXPECT_FALSE(read_peaks(file, 3, events.socket).result);
    EXPECT_TRUE(events.listener.events.empty());
    EXPECT_TRUE(ReadRecorder::reads().empty());
}

// An index whose entries go backwards, or past the end of the file, must not
// make the reader allocate or read: the scan is refused.
TEST(PeakReads, RangeThatWrapsOrLeavesTheFileIsRefused) {
    const MzXmlWriter writer = file_with(spec_of({1, 2}));
    const auto good = fixture::index_of(writer);
    const auto size = static_cast<std::int64_t>(writer.str().size());
    struct Bad {
        std::vector<std::int64_t> entries;
        std::uint32_t scan;
    };
    for (const Bad& bad :
         {Bad{{good[1], good[0], good[2]}, 1}, Bad{{good[0], good[1], size + 1}, 2},
          Bad{{good[0], good[1], std::int64_t(1) << 40}, 2}}) {
        ScanFile file(writer.str(), bad.entries);
        fixture::RecordingSocket events;
        ReadRecorder recorder;
        EXPECT_FALSE(read_peaks(file, bad.scan, events.socket).result);
        EXPECT_TRUE(ReadRecorder::reads().empty());
        ASSERT_EQ(events.listener.ids(), std::vector<std::uint32_t>{COUNT_MISMATCH});
        EXPECT_EQ(events.listener.events[0].args,
                  (std::vector<std::wstring>{std::to_wstring(bad.scan), L"0", L"0"}));
    }
}

} // namespace
