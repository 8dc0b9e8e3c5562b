// A file another program rewrites in place while the plug-in holds it open:
// what the listing found is no longer there, and nothing of the new bytes
// may pass for the file's data (a scan without its tags reads as one
// without peaks). Windows refuses such writes to a file the plug-in has
// open, so there is nothing to test there.
#include "host_session.h"

#include <fstream>

namespace {

namespace msg = orvoeng::msg;
using fixture::attempt;

const std::wstring CHANGED = L"The file has changed since it was opened";

// Overwrites [from, to) of the file with NUL bytes, in place.
void zero(const std::filesystem::path& path, std::size_t from, std::size_t to) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(from));
    const std::string nuls(to - from, '\0');
    file.write(nuls.data(), static_cast<std::streamsize>(nuls.size()));
    ASSERT_TRUE(file.good());
}

class ChangedFile : public ::testing::TestWithParam<fixture::Factory> {
protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "a file the plug-in has open cannot be written on Windows";
#endif
        path = dir.write("run.mzXML", bytes);
        source = GetParam()();
        scans = *source->open_file(path.wstring(), 1, &options, 1, sink.socket, {});
        ASSERT_EQ(scans.size(), 200u);
    }
    // The peaks of scan `n` (0-based) as the file was written.
    fixture::Peaks written(std::size_t n) const {
        fixture::Peaks peaks;
        for (int i = 0; i < 40; ++i)
            peaks.emplace_back(static_cast<float>(100.0 + static_cast<double>(n) + i * 0.5),
                               static_cast<float>(1.0 + i));
        return peaks;
    }

    const std::string bytes = fixture::generated_run(200, 40);
    fixture::TempDir dir;
    std::filesystem::path path;
    orvoeng::PeakListOptions options;
    fixture::RecordingSocket sink;
    std::unique_ptr<orvoeng::DataSourceIntf> source;
    std::vector<orvoeng::ScanRecord> scans;
};

// The case in small: a fifth of the file in its middle becomes NUL
// bytes. Each spectrum is the one written or an error; one whose start tag
// is gone is refused as a changed file.
TEST_P(ChangedFile, ScansRewrittenInPlaceAreNeverReadAsData) {
    const std::size_t from = bytes.size() * 2 / 5, to = bytes.size() * 3 / 5;
    zero(path, from, to);
    std::size_t refused = 0, within = 0;
    for (std::size_t n = 0; n < scans.size(); ++n) {
        const std::size_t start = bytes.find("<scan num=\"" + std::to_string(n + 1) + "\"");
        const bool gone = start >= from && start < to;
        within += gone;
        fixture::Peaks peaks;
        const auto o = attempt([&] {
            const auto spectrum = source->get_spectrum(scans[n].label, 0, sink.socket);
            for (const auto& p : *spectrum->peaks)
                peaks.emplace_back(p.mz, p.intensity);
        });
        if (o.ok) {
            // Read as written: from bytes held since before the change.
            EXPECT_EQ(peaks, written(n)) << "scan " << n + 1;
            continue;
        }
        EXPECT_EQ(o.id, msg::BAD_PEAKS.id) << o.what;
        if (gone) {
            EXPECT_EQ(o.args.at(1), CHANGED) << "scan " << n + 1;
            ++refused;
        }
    }
    EXPECT_GT(within, 30u);
    if (GetParam() == fixture::create_tiny_block_data_source) {
        EXPECT_EQ(refused, within);
    }
}

// A file cut short since the listing no longer holds its last scans. Bytes
// the plug-in read before the cut (with the shipped block, the whole of this
// small file may still be held from the listing) are the file's data as it
// was; with tiny blocks they are read again.
TEST_P(ChangedFile, ScansCutOffAreRefusedAsAChangedFile) {
    std::filesystem::resize_file(path, bytes.find("<scan num=\"150\""));
    for (const std::uint32_t label : {150u, 200u}) {
        fixture::Peaks peaks;
        const auto o = attempt([&] {
            const auto spectrum = source->get_spectrum(label, 0, sink.socket);
            for (const auto& p : *spectrum->peaks)
                peaks.emplace_back(p.mz, p.intensity);
        });
        if (o.ok && GetParam() != fixture::create_tiny_block_data_source) {
            EXPECT_EQ(peaks, written(label - 1)) << label;
            continue;
        }
        EXPECT_EQ(o.id, msg::BAD_PEAKS.id) << o.ok << o.what;
        EXPECT_EQ(o.args, (std::vector<std::wstring>{std::to_wstring(label), CHANGED}));
    }
    EXPECT_TRUE(attempt([&] { source->get_spectrum(149, 0, sink.socket); }).ok);
}

// The run information, once read, is read again from where it was found;
// gone from there, it is refused, and the host is told why.
TEST_P(ChangedFile, RunInformationRewrittenInPlaceIsRefused) {
    ASSERT_TRUE(attempt([&] { source->get_instrument_info(); }).ok);
    ASSERT_EQ(source->get_completion_time(), 1261650667);
    zero(path, bytes.find("<msInstrument"), bytes.find("</dataProcessing>"));

    const auto info = attempt([&] { source->get_instrument_info(); });
    EXPECT_EQ(info.id, msg::FILE_REFUSED.id);
    EXPECT_EQ(info.args, std::vector{path.wstring()});
    const auto time = attempt([&] { source->get_completion_time(); });
    EXPECT_EQ(time.id, msg::NO_COMPLETION_TIME.id);
    EXPECT_EQ(time.args, std::vector{CHANGED});
    const auto told = sink.listener.with_id(msg::FILE_CHANGED.id);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].args, std::vector{path.wstring()});
    EXPECT_EQ(told[0].level, 1u);
}

// The same rewrite in files of many small scans in real converters'
// layouts, where the look-ahead reads most headers and peaks: every spectrum
// is the one the file held, or refused.
TEST_P(ChangedFile, ConverterLayoutsRewrittenInPlaceAreNeverReadAsData) {
    for (const std::string layout : fixture::CONVERTER_LAYOUTS) {
        SCOPED_TRACE(layout);
        const auto file = fixture::generated_file(
            dir, layout + ".mzXML", "--scans 2000 --ms1-peaks 60 --ms2-peaks 8 --layout " + layout);
        if (file.empty())
            GTEST_SKIP() << "no generator in this build: the layouts are read on Linux";
        const fixture::Session before(file, {}, {}, GetParam());
        ASSERT_TRUE(before.complete());
        const auto size = static_cast<std::size_t>(std::filesystem::file_size(file));
        const fixture::Session after(
            file, {}, [&] { zero(file, size * 2 / 5, size * 3 / 5); }, GetParam());
        ASSERT_EQ(after.fetches.size(), before.spectra.size());
        std::size_t refused = 0;
        for (std::size_t n = 0; n < after.fetches.size(); ++n) {
            if (after.fetches[n].ok) {
                EXPECT_EQ(after.spectra[n], before.spectra[n]) << "scan " << n + 1;
                continue;
            }
            EXPECT_EQ(after.fetches[n].id, msg::BAD_PEAKS.id) << after.fetches[n].what;
            ++refused;
        }
        EXPECT_GT(refused, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(BothBlocks, ChangedFile,
                         ::testing::Values(fixture::create_data_source,
                                           fixture::create_tiny_block_data_source),
                         [](const auto& param) {
                             return std::string(param.index == 0 ? "ShippedBlock" : "TinyBlock");
                         });

} // namespace
