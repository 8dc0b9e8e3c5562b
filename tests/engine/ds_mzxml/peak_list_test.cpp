#include "scan_reader.h"
#include "support/recording_listener.h"

#include <pal/exception.h>
#include <pal/string.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Cases name only the fields they change; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using namespace fixture;
using Values = std::vector<double>;
using Args = std::vector<std::wstring>;

constexpr std::uint32_t MISSING_ATTRIBUTES = 0xCC0236B3;
constexpr std::uint32_t COUNT_MISMATCH = 0xCC0236B4;
const std::string NETWORK = "byteOrder=\"network\" pairOrder=\"m/z-int\"";

// The scan under test is the second of two, so events name scan 2.
MzXmlWriter file_with(const ScanSpec& scan, bool indexed = false) {
    MzXmlWriter writer;
    writer.begin(2).scan({.values = {50, 1}}).scan(scan).end_run();
    indexed ? writer.index() : writer.no_index();
    return writer;
}

struct Peaks {
    bool ok = false;
    bool centroided = false;
    Values mz, intensity;
};

Peaks peaks_of(MzXMLReader& reader, std::uint32_t scan,
               const PAL::SmartPtr<PAL::EventSocket>& socket = {}) {
    Peaks p;
    p.ok = reader.read_peaks(scan, p.centroided, p.mz, p.intensity, socket);
    return p;
}

TEST(PeakList, Decoding) {
    const std::string e = encode_values({1, 2, 3, 4}, 32);
    const std::string groups =
        "\r\n " + e.substr(0, 4) + "\n      " + e.substr(4, 8) + "\t" + e.substr(12) + " \r\n";
    const struct {
        const char* name;
        ScanSpec scan;
        Values mz, intensity;
    } cases[] = {
        {"32 bits", {.values = {100.5, 10, 200.25, 20}}, {100.5, 200.25}, {10, 20}},
        {"floats widened", {.values = {0.1, 0.2}}, {double(0.1f)}, {double(0.2f)}},
        {"64 bits", {.values = {0.1, 0.2, 1e300, 5}, .precision = 64}, {0.1, 1e300}, {0.2, 5}},
        {"count 0 leaves the text unread", {.peaks_count = 0, .peaks_text = "not base64!"}, {}, {}},
        {"one all-zero pair is empty", {.values = {0, 0}}, {}, {}},
        {"one pair, zero m/z", {.values = {0, 5}}, {0}, {5}},
        {"seventh value ignored",
         {.peaks_count = 3, .values = {1, 2, 3, 4, 5, 6, 7}},
         {1, 3, 5},
         {2, 4, 6}},
        {"both precisions: 32",
         {.values = {1, 2},
          .peaks_attributes = "precision=\"64\" " + NETWORK + " precision=\"32\""},
         {1},
         {2}},
        {"tag and groups over lines",
         {.peaks_count = 2,
          .peaks_attributes = "precision=\"32\"\n  " + NETWORK,
          .peaks_text = groups},
         {1, 3},
         {2, 4}},
    };
    for (const auto& c : cases) {
        ScanFile file(file_with(c.scan));
        RecordingSocket events;
        const Peaks p = peaks_of(file.reader, 2, events.socket);
        EXPECT_TRUE(p.ok) << c.name;
        EXPECT_EQ(p.mz, c.mz) << c.name;
        EXPECT_EQ(p.intensity, c.intensity) << c.name;
        EXPECT_TRUE(events.listener.events.empty()) << c.name;
    }
}

// Bad counts and bad text fail with a decode error, never a crash or a huge
// allocation, and leave both lists empty.
TEST(PeakList, DecodeErrors) {
    const std::string four = encode_values({1, 2, 3, 4}, 32);
    const struct {
        const char* name;
        ScanSpec scan;
        std::int32_t code;
    } cases[] = {
        {"5 values for 3 peaks",
         {.peaks_count = 3, .values = {1, 2, 3, 4, 5}},
         PAL::DECODE_INPUT_EXHAUSTED},
        {"8 values for 3 peaks",
         {.peaks_count = 3, .values = {1, 2, 3, 4, 5, 6, 7, 8}},
         PAL::DECODE_OUTPUT_EXHAUSTED},
        {"negative count", {.peaks_count = -5, .values = {1, 2}}, PAL::DECODE_INPUT_EXHAUSTED},
        {"count no text can hold",
         {.peaks_count = 2147483647, .values = {1, 2}},
         PAL::DECODE_INPUT_EXHAUSTED},
        {"line feed in a group",
         {.peaks_count = 2, .peaks_text = four.substr(0, 2) + "\n" + four.substr(2)},
         PAL::DECODE_ILLEGAL_CHARACTER},
    };
    for (const auto& c : cases) {
        ScanFile file(file_with(c.scan));
        Peaks p;
        try {
            file.reader.read_peaks(2, p.centroided, p.mz, p.intensity, {});
            ADD_FAILURE() << c.name << ": no error";
        } catch (const PAL::StrDecodeError& error) {
            EXPECT_EQ(error.error, c.code) << c.name;
        }
        EXPECT_TRUE(p.mz.empty() && p.intensity.empty()) << c.name;
    }
}

TEST(PeakList, UnusablePeaksAreReported) {
    const auto b3 = [](const wchar_t* text) { return Args{L"2", text}; };
    const struct {
        const char* name;
        ScanSpec scan;
        std::vector<Args> missing; // the 0xCC0236B3 event, when one is due
    } cases[] = {
        {"little endian",
         {.peaks_attributes = "precision=\"32\" byteOrder=\"little\" pairOrder=\"m/z-int\""},
         {b3(L"byteOrder=\"network\"")}},
        {"no precision, no pair order",
         {.peaks_attributes = "byteOrder=\"network\""},
         {b3(L"precision=(\"32\" or \"64\"),pairOrder=\"m/z-int\"")}},
        {"precision 16",
         {.peaks_attributes = "precision=\"16\" " + NETWORK},
         {b3(L"precision=(\"32\" or \"64\")")}},
        {"none",
         {.peaks_attributes = "compressionType=\"none\""},
         {b3(L"precision=(\"32\" or \"64\"),byteOrder=\"network\",pairOrder=\"m/z-int\"")}},
        {"no peaks element", {.no_peaks_element = true}, {}},
        {"no blank after <peaks", {.peaks_attributes = ""}, {}},
    };
    for (const auto& c : cases) {
        ScanSpec scan = c.scan;
        scan.values = {1, 2, 3, 4};
        ScanFile file(file_with(scan));
        RecordingSocket events;
        const Peaks p = peaks_of(file.reader, 2, events.socket);
        EXPECT_FALSE(p.ok) << c.name;
        EXPECT_TRUE(p.mz.empty()) << c.name;
        std::vector<Args> missing;
        for (const auto& e : events.listener.with_id(MISSING_ATTRIBUTES))
            missing.push_back(e.args);
        EXPECT_EQ(missing, c.missing) << c.name;
        const auto mismatch = events.listener.with_id(COUNT_MISMATCH);
        ASSERT_EQ(mismatch.size(), 1u) << c.name;
        EXPECT_EQ(mismatch[0].level, 1u);
        EXPECT_EQ(mismatch[0].args, (Args{L"2", L"2", L"0"})) << c.name;
        EXPECT_EQ(events.listener.events.back().id, COUNT_MISMATCH) << c.name;
        EXPECT_FALSE(peaks_of(file.reader, 2).ok) << c.name << ", no socket";
    }
}

TEST(PeakList, CentroidedIsWrittenOnlyWhenGiven) {
    for (const auto& [attribute, before, after] :
         {std::tuple{"centroided=\"1\"", false, true}, std::tuple{"centroided=\"0\"", true, false},
          std::tuple{"", true, true}}) {
        ScanFile file(file_with({.extra_attributes = attribute, .values = {1, 2}}));
        Peaks p;
        p.centroided = before;
        ASSERT_TRUE(file.reader.read_peaks(2, p.centroided, p.mz, p.intensity, {}));
        EXPECT_EQ(p.centroided, after) << attribute;
    }
}

// One read of exactly the scan, the last one bounded by the end entry.
TEST(PeakReads, OneReadOfTheScansBytes) {
    const MzXmlWriter writer = file_with({.values = {3, 4, 5, 6}, .precision = 64}, true);
    ScanFile file(writer);
    for (std::uint32_t scan : {1u, 2u}) {
        ReadRecorder recorder;
        ASSERT_TRUE(peaks_of(file.reader, scan).ok);
        const std::int64_t begin = writer.scan_offsets()[scan - 1];
        const std::int64_t end = scan == 1 ? writer.scan_offsets()[1] : writer.index_offset();
        EXPECT_EQ(ReadRecorder::reads(), (std::vector<std::pair<std::int64_t, std::uint32_t>>{
                                             {begin, static_cast<std::uint32_t>(end - begin)}}));
    }
    EXPECT_EQ(peaks_of(file.reader, 2).mz, (Values{3, 5}));
}

// Positions outside the scans fail quietly; an index whose entries go
// backwards or past the end of the file refuses the scan before any
// allocation or read.
TEST(PeakReads, Refusals) {
    const MzXmlWriter writer = file_with({.values = {1, 2}});
    const std::vector<std::int64_t> e = ScanFile(writer).reader.offsets;
    const auto size = static_cast<std::int64_t>(writer.str().size());
    const struct {
        std::vector<std::int64_t> entries;
        std::uint32_t scan;
        bool event;
    } cases[] = {{e, 0, false},
                 {e, 3, false},
                 {{e[1], e[0], e[2]}, 1, true},
                 {{e[0], e[1], size + 1}, 2, true},
                 {{e[0], e[1], std::int64_t(1) << 40}, 2, true}};
    for (const auto& c : cases) {
        ScanFile file(writer, c.entries);
        RecordingSocket events;
        ReadRecorder recorder;
        EXPECT_FALSE(peaks_of(file.reader, c.scan, events.socket).ok) << c.scan;
        EXPECT_TRUE(ReadRecorder::reads().empty()) << c.scan;
        ASSERT_EQ(events.listener.ids(), c.event ? std::vector<std::uint32_t>{COUNT_MISMATCH}
                                                 : std::vector<std::uint32_t>{})
            << c.scan;
        if (c.event) {
            EXPECT_EQ(events.listener.events[0].args, (Args{std::to_wstring(c.scan), L"0", L"0"}));
        }
    }
}

} // namespace
