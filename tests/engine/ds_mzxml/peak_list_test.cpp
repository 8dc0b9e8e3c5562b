#include "scan_reader.h"

#include <pal/exception.h>
#include <pal/string.h>

namespace fixture {

using Values = std::vector<double>;
using Args = std::vector<std::wstring>;

const auto BOTH = "precision=\"64\" byteOrder=\"network\" pairOrder=\"m/z-int\" precision=\"32\"";
const std::wstring P = L"precision=(\"32\" or \"64\")", B = L"byteOrder=\"network\"",
                   O = L"pairOrder=\"m/z-int\"";
constexpr std::int32_t IN = PAL::DECODE_INPUT_EXHAUSTED, OUT = PAL::DECODE_OUTPUT_EXHAUSTED,
                       BAD = PAL::DECODE_ILLEGAL_CHARACTER;

// Scan 2 of 2, read at once up to the end entry. Decode errors (absurd counts too) leave
// no peaks; an unusable peaks element posts what it lacks and the count mismatch.
TEST(PeakList, Decoding) {
    const std::string e = encode_values({1, 2, 3, 4}, 32);
    const std::string lf = "\r\n " + e.substr(0, 4) + "\n  " + e.substr(4, 8) + "\t" + e.substr(12);
    const std::tuple<ScanSpec, Values, Values, std::int32_t, std::optional<std::wstring>> cases[] =
        {{{.values = {100.5, 0.1, 200.25, 20}}, {100.5, 200.25}, {double(0.1f), 20}, 0, {}},
         {{.values = {.1, 1e300}, .precision = 64}, {.1}, {1e300}, 0, {}},
         {{.peaks_count = 0, .peaks_text = "not base64!"}, {}, {}, 0, {}},
         {{.extra_attributes = "centroided=\"0\"", .values = {0, 0}}, {}, {}, 0, {}},
         {{.peaks_count = 3, .values = {1, 2, 3, 4, 5, 6, 7}}, {1, 3, 5}, {2, 4, 6}, 0, {}},
         {{.values = {1, 2}, .peaks_attributes = BOTH}, {1}, {2}, 0, {}},
         {{.peaks_count = 2, .peaks_text = lf}, {1, 3}, {2, 4}, 0, {}},
         {{.peaks_count = 3, .values = {1, 2, 3, 4, 5}}, {}, {}, IN, {}},
         {{.peaks_count = 3, .values = {1, 2, 3, 4, 5, 6, 7, 8}}, {}, {}, OUT, {}},
         {{.peaks_count = -5, .values = {1, 2}}, {}, {}, IN, {}},
         {{.peaks_count = 2147483647, .values = {1, 2}}, {}, {}, IN, {}},
         {{.peaks_count = 2, .peaks_text = e.substr(0, 2) + "\n" + e.substr(2)}, {}, {}, BAD, {}},
         {{.peaks_attributes = "precision=\"32\" byteOrder=\"little\""}, {}, {}, 0, B + L"," + O},
         {{.peaks_attributes = "precision=\"16\" byteOrder=\"network\""}, {}, {}, 0, P + L"," + O},
         {{.peaks_attributes = "compressionType=\"none\""}, {}, {}, 0, P + L"," + B + L"," + O}};
    for (const auto& c : cases) {
        const auto& [given, want_mz, want_intensity, want_error, missing] = c;
        SCOPED_TRACE(&c - cases);
        ScanSpec scan = given;
        if (missing)
            scan.values = {1, 2, 3, 4};
        ScanFile file({{.values = {5, 1}}, scan});
        const ScanOffsets& at = file.reader.offsets();
        RecordingSocket events;
        ReadRecorder recorder;
        bool ok = false, centroided = true;
        std::int32_t error = 0;
        Values mz, intensity;
        try {
            ok = file.reader.read_peaks(2, centroided, mz, intensity, events.socket);
        } catch (const PAL::StrDecodeError& failure) {
            error = failure.error;
        }
        EXPECT_EQ(std::tie(ok, mz, intensity, error, centroided, ReadRecorder::reads),
                  std::tuple(!want_error && !missing, want_mz, want_intensity, want_error,
                             given.extra_attributes.empty(),
                             ReadRecorder::Reads{{at[1], at[2] - at[1]}}));
        std::vector<std::tuple<std::uint32_t, std::uint32_t, Args>> got, want;
        for (const auto& event : events.listener.events)
            got.push_back({event.id, event.level, event.args});
        if (missing)
            want = {{msg::PEAK_ATTRIBUTES_MISSING.id, 1, {L"2", *missing}},
                    {msg::PEAK_COUNT_DIFFERS.id, 1, {L"2", L"2", L"0"}}};
        EXPECT_EQ(got, want);
    }
}

// Data left unread by a count of 0 are said, except the one pair of zeros
// that writers store for an empty scan (AAAAAAAAAAA=), in either precision.
TEST(PeakList, CountOfZeroWithData) {
    const std::pair<ScanSpec, std::uint32_t> cases[] = {
        {{.peaks_count = 0, .values = {0, 0}}, 0},
        {{.peaks_count = 0, .values = {0, 0}, .precision = 64}, 0},
        {{.peaks_count = 0, .values = {-0.0, 0}}, 0},
        {{.peaks_count = 0, .values = {0, 5}}, 1},
        {{.peaks_count = 0, .values = {0, 0, 0, 0}}, 2}};
    for (const auto& c : cases) {
        const auto& [scan, pairs] = c;
        SCOPED_TRACE(&c - cases);
        ScanFile file({{.values = {5, 1}}, scan});
        RecordingSocket events;
        bool centroided = false;
        Values mz, intensity;
        EXPECT_TRUE(file.reader.read_peaks(2, centroided, mz, intensity, events.socket) ||
                    pairs > 0);
        std::vector<std::pair<std::uint32_t, Args>> got, want;
        for (const auto& event : events.listener.events)
            got.emplace_back(event.id, event.args);
        if (pairs > 0)
            want = {{msg::PEAK_COUNT_DIFFERS.id, Args{L"2", L"0", std::to_wstring(pairs)}}};
        EXPECT_EQ(got, want);
        EXPECT_TRUE(mz.empty() && intensity.empty());
    }
}

// A scan range that goes backwards or leaves the file is refused before any read.
TEST(PeakList, RangesRefusedBeforeAnyRead) {
    ScanFile file(std::vector<ScanSpec>(2));
    const ScanOffsets e = file.reader.offsets();
    const auto size = static_cast<std::int64_t>(file.writer.str().size());
    const std::pair<ScanOffsets, std::uint32_t> cases[] = {
        {{e[1], e[0], e[2]}, 1},
        {{-5, e[1], e[2]}, 1},
        {{e[0], e[1], size + 1}, 2},
        {{e[0], e[1], std::int64_t(1) << 40}, 2}};
    for (const auto& [entries, n] : cases) {
        ReaderAccess::offsets(file.reader) = entries;
        RecordingSocket events;
        ReadRecorder recorder;
        bool centroided = false;
        Values mz, intensity;
        ScanHeader header;
        EXPECT_FALSE(file.reader.read_scan_header(n, header)) << n;
        EXPECT_FALSE(file.reader.read_peaks(n, centroided, mz, intensity, events.socket)) << n;
        EXPECT_TRUE(ReadRecorder::reads.empty()) << n;
        ASSERT_EQ(events.listener.events.size(), 1u) << n;
        EXPECT_EQ(std::tie(events.listener.events[0].id, events.listener.events[0].args),
                  std::tuple(msg::PEAK_COUNT_DIFFERS.id, Args{std::to_wstring(n), L"0", L"0"}));
    }
}

} // namespace fixture
