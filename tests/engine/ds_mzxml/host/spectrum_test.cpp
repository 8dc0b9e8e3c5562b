// get_spectrum and get_raw_spec_info: which peaks are kept, how their kind is
// judged, what is cached, and how a missing or broken peak list surfaces.
#include "plugin_host.h"

#include <fstream>

namespace {

using host::Failure;
using host::Opened;
using host::raises;

class Spectra : public ::testing::Test {
protected:
    fixture::TempDir dir;
    std::filesystem::path write(const std::vector<fixture::ScanSpec>& scans,
                                const std::string& head = host::centroided_run) {
        return dir.write("run.mzXML", host::mzxml(scans, head));
    }
};

TEST_F(Spectra, PeaksAtOrBelowMzOneAreDropped) {
    auto spec = host::scan(1, {0.5, 1.0, 1.0, 2.0, 1.0000001, 3.0, 500.0, 4.0, -7.0, 5.0});
    spec.precision = 64;
    Opened run(write({spec}));
    const auto spectrum = run.source->get_spectrum(1, 0, {});
    const auto& peaks = *spectrum->peaks;
    ASSERT_EQ(peaks.size(), 2u);
    EXPECT_EQ(peaks[0].mz, 1.0000001);
    EXPECT_EQ(peaks[0].intensity, 3.0);
    EXPECT_EQ(peaks[1].mz, 500.0);
    EXPECT_EQ(peaks[1].intensity, 4.0);
    orvoeng::RawSpecInfo info;
    run.source->get_raw_spec_info(1, 0, info);
    EXPECT_EQ(info.peak_count, 2u);
}

// Run flag, host option and the scan's own attribute: any of them makes the
// peaks centroided; otherwise they are profile data (kind 3, detail 1).
TEST_F(Spectra, PeakKindFollowsTheRunOrTheScan) {
    struct Case {
        const char* name;
        std::string head;
        orvoeng::PeakListOptions options;
        std::string scan_attribute;
        std::int32_t kind;
        std::int32_t detail;
    };
    const std::string profile_run =
        "    <dataProcessing centroided=\"0\">\n    </dataProcessing>\n";
    const std::vector<Case> cases = {
        {"run centroided", host::centroided_run, host::options(), "", 0, -1},
        {"run profile, scan centroided", profile_run, host::options(), "centroided=\"1\"", 0, -1},
        {"run profile, scan profile", profile_run, host::options(), "centroided=\"0\"", 3, 1},
        {"run profile, scan silent", profile_run, host::options(), "", 3, 1},
        {"host says centroided", "", host::options(8, true), "", 0, -1},
        {"host says profile", "", host::options(8, false), "", 3, 1},
    };
    for (const auto& c : cases) {
        auto spec = host::scan(1);
        spec.extra_attributes = c.scan_attribute;
        Opened run(write({spec}, c.head), c.options);
        const auto spectrum = run.source->get_spectrum(1, 0, {});
        EXPECT_EQ(spectrum->peak_kind, c.kind) << c.name;
        EXPECT_EQ(spectrum->kind_detail, c.detail) << c.name;
        EXPECT_EQ(spectrum->aux_number, -1) << c.name;
        orvoeng::RawSpecInfo info;
        run.source->get_raw_spec_info(1, 0, info);
        EXPECT_EQ(info.centroided, c.kind == 0) << c.name;
    }
}

TEST_F(Spectra, EachFetchPostsItsCountWhenTheHostListens) {
    fixture::RecordingSocket sink;
    Opened run(write({host::scan(1), host::scan(1, {0.5, 1.0, 200.0, 2.0, 300.0, 3.0})}));
    run.source->get_spectrum(2, 0, {});
    EXPECT_TRUE(sink.listener.events.empty());
    run.source->get_spectrum(2, 0, sink.socket);
    const auto read = sink.listener.with_id(0x4C030004);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].level, 7u);
    EXPECT_EQ(read[0].args, (std::vector<std::wstring>{L"3", L"2"})) << "values read, then label";
}

TEST_F(Spectra, RawSpecInfoReadsTheFileOnceThenAnswersFromTheCache) {
    const auto path = write({host::scan(1, {100.0, 1.0, 200.0, 2.0})});
    Opened run(path);
    orvoeng::RawSpecInfo info;
    run.source->get_raw_spec_info(1, 0, info);
    EXPECT_EQ(info.peak_count, 2u);
    EXPECT_TRUE(info.centroided);

    std::ofstream(path, std::ios::trunc).close(); // the open file is now empty
    orvoeng::RawSpecInfo again{0, false};
    run.source->get_raw_spec_info(1, 0, again);
    EXPECT_EQ(again.peak_count, 2u);
    EXPECT_TRUE(again.centroided);
    // A real fetch does read the file, and now fails.
    EXPECT_THROW(run.source->get_spectrum(1, 0, {}), PAL::Exception);
}

TEST_F(Spectra, ScanWithoutPeaksNamesTheInnerError) {
    auto missing = host::scan(1);
    missing.no_peaks_element = true;
    Opened run(write({host::scan(1, {}), missing}));

    EXPECT_TRUE(run.source->get_spectrum(1, 0, {})->peaks->empty()) << "peaksCount 0 is no error";
    const Failure no_peaks{0x8004081C, 0xC802001C, {L"2", L"Application Error 0xc802001c"}};
    EXPECT_TRUE(raises([&] { run.source->get_spectrum(2, 0, {}); }, no_peaks));
    orvoeng::RawSpecInfo info;
    EXPECT_TRUE(raises([&] { run.source->get_raw_spec_info(2, 0, info); }, no_peaks));
    EXPECT_TRUE(raises([&] { run.source->get_raw_spec_info(2, 0, info); }, no_peaks))
        << "a failed fetch caches nothing";
}

TEST_F(Spectra, UndecodablePeaksCarryTheDecoderDescription) {
    auto broken = host::scan(1, {100.0, 1.0});
    broken.peaks_text = "QsgA*AAA";
    Opened run(write({broken}));
    try {
        run.source->get_spectrum(1, 0, {});
        ADD_FAILURE() << "nothing raised";
    } catch (const PAL::AppError& error) {
        EXPECT_EQ(error.code, 0x8004081Cu);
        EXPECT_EQ(error.message.id, 0xC802001Cu);
        ASSERT_EQ(error.message.args.size(), 2u);
        EXPECT_EQ(error.message.args[0], L"1");
        EXPECT_EQ(error.message.args[1].rfind(L"Decoding error: ", 0), 0u)
            << host::narrow(error.message.args[1]);
    }
}

} // namespace
