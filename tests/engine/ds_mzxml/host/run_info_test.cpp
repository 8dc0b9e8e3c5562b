// get_instrument_info and get_completion_time, after open_file and after
// peek_file alone.
#include "plugin_host.h"

namespace {

using host::Failure;
using host::raises;
using Entries = std::vector<std::pair<std::int32_t, std::wstring>>;

std::string instrument(const std::string& details) {
    return "    <msInstrument>\n"
           "      <msManufacturer category=\"msManufacturer\" value=\"Maker\"/>\n"
           "      <msModel category=\"msModel\" value=\"Model 7\"/>\n"
           "      <msIonisation category=\"msIonisation\" value=\"ESI\"/>\n"
           "      <msMassAnalyzer category=\"msMassAnalyzer\" value=\"Ion Trap\"/>\n" +
           details + "    </msInstrument>\n";
}

std::string processing(const std::string& completion_time) {
    return "    <dataProcessing centroided=\"1\">\n"
           "      <software type=\"conversion\" name=\"writer\" version=\"1\"" +
           completion_time + "/>\n    </dataProcessing>\n";
}

// Both run operations work on a peeked file as on a listed one.
class RunInfo : public ::testing::TestWithParam<bool> {
protected:
    fixture::TempDir dir;
    std::unique_ptr<orvoeng::DataSourceIntf> source;
    std::wstring path;

    void open(const std::string& head, std::uint32_t flags = 0) {
        const bool peek_only = GetParam();
        path = dir.write("run.mzXML", host::mzxml({host::scan(1)}, head)).wstring();
        source = host::create();
        const auto opts = host::options(flags);
        if (peek_only)
            source->peek_file(path, 1, {});
        else
            source->open_file(path, 1, &opts, 1, {}, {});
    }
    Entries entries() {
        const auto info = source->get_instrument_info();
        return Entries(info.begin(), info.end());
    }
};

TEST_P(RunInfo, InstrumentEntriesInKeyOrderWithIonisationBeforeDetector) {
    open(instrument("      <msDetector category=\"msDetector\" value=\"EMT\"/>\n"
                    "      <Operator first=\"Ada\" last=\"Byron\"/>\n") +
         processing(""));
    EXPECT_EQ(entries(), (Entries{{0, path},
                                  {4, L"Ada Byron"},
                                  {6, L"Maker Model 7"},
                                  {7, L"Ion Trap"},
                                  {8, L"Ionisation|ESI"},
                                  {8, L"Detector|EMT"}}));
}

TEST_P(RunInfo, AbsentDetailsLeaveEmptyTextsOrNoEntry) {
    open(instrument("") + processing(""));
    EXPECT_EQ(
        entries(),
        (Entries{
            {0, path}, {4, L""}, {6, L"Maker Model 7"}, {7, L"Ion Trap"}, {8, L"Ionisation|ESI"}}));
    source.reset();
    open(processing(""));
    EXPECT_EQ(entries(), (Entries{{0, path}, {4, L""}, {6, L" "}, {7, L""}}))
        << "no msInstrument element";
}

TEST_P(RunInfo, CompletionTimeIsReadAsUtcUnlessZoned) {
    const std::vector<std::pair<const char*, std::int64_t>> cases = {
        {"2009-12-24T10:31:07", 1261650667},
        {"2009-12-24T10:31:07Z", 1261650667},
        {"2009-12-24T12:31:07+02:00", 1261650667},
        {"1970-01-01T00:00:00Z", 0},
    };
    for (const auto& [text, seconds] : cases) {
        open(processing(std::string(" completionTime=\"") + text + "\""));
        EXPECT_EQ(source->get_completion_time(), seconds) << text;
    }
    open(processing(""));
    EXPECT_EQ(source->get_completion_time(), 0) << "absent";
}

TEST_P(RunInfo, CompletionTimeFailuresAreReportedAsDataProcessingErrors) {
    open(processing(" completionTime=\"2009-12-24T10:31:07Zjunk\""));
    EXPECT_TRUE(raises([&] { source->get_completion_time(); },
                       {0x80040853,
                        0xC8020053,
                        {L"Date/time conversion error: Unused trailing input data (offset 20)"}}));
    open(instrument(""), orvoeng::PeakListOptions::CENTROIDED_GIVEN);
    EXPECT_TRUE(raises([&] { source->get_completion_time(); },
                       {0x80040853, 0xC8020053, {L"dataProcessing element missing"}}));
}

INSTANTIATE_TEST_SUITE_P(PeekedOrListed, RunInfo, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Peeked" : "Listed"; });

} // namespace
