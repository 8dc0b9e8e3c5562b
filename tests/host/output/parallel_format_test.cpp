// Spectra formatted on worker threads: the text comes out in the order the
// spectra went in, whatever the workers and the batch sizes, and a failing
// sink stops the pipeline with its error rather than losing text silently.
#include <host/output/parallel_format.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using orvohost::TextPipeline;

std::vector<orvoeng::ScanRecord> make_scans(std::size_t count) {
    std::vector<orvoeng::ScanRecord> scans(count);
    for (std::size_t i = 0; i < count; ++i)
        scans[i].label = static_cast<std::uint32_t>(i + 1);
    return scans;
}

PAL::SmartPtr<orvoeng::Spectrum> spectrum_of(std::size_t peaks) {
    PAL::SmartPtr<orvoeng::Spectrum> spectrum(new orvoeng::Spectrum);
    spectrum->peaks->assign(peaks, orvoeng::Peak{1.0, 2.0});
    return spectrum;
}

void format_label(std::string& out, const orvoeng::ScanRecord& scan,
                  const orvoeng::Spectrum* spectrum) {
    out += std::to_string(scan.label);
    out += ':';
    out += std::to_string(spectrum ? spectrum->peaks->size() : 0);
    out += '\n';
}

TEST(TextPipeline, ConcurrentWorkersKeepTheOrderOfTheSpectra) {
    // Spectra of very different sizes close batches at uneven points, so
    // that later batches often finish before earlier ones.
    const auto scans = make_scans(3000);
    std::string expected;
    for (const auto& scan : scans)
        format_label(expected, scan,
                     spectrum_of(scan.label % 7 == 0 ? 9000 : scan.label % 5).get());
    for (unsigned workers : {0U, 1U, 3U}) {
        std::string written;
        std::size_t sinks = 0;
        TextPipeline pipeline(workers, format_label, [&](std::string& text) {
            written += text;
            ++sinks;
        });
        for (const auto& scan : scans)
            pipeline.add(scan, spectrum_of(scan.label % 7 == 0 ? 9000 : scan.label % 5));
        pipeline.finish();
        EXPECT_EQ(written, expected) << workers << " workers";
        EXPECT_GE(sinks, 1U);
    }
}

TEST(TextPipeline, ConcurrentSinkFailureStopsTheRunAndIsRaised) {
    const auto scans = make_scans(4000);
    for (unsigned workers : {0U, 2U}) {
        std::size_t calls = 0;
        bool raised = false;
        try {
            TextPipeline pipeline(workers, format_label, [&](std::string&) {
                ++calls;
                throw std::runtime_error("No space left on device");
            });
            for (const auto& scan : scans)
                pipeline.add(scan, spectrum_of(600));
            pipeline.finish();
        } catch (const std::runtime_error& e) {
            raised = std::string(e.what()) == "No space left on device";
        }
        EXPECT_TRUE(raised) << workers << " workers";
        // Nothing more is handed to a sink that failed.
        EXPECT_EQ(calls, 1U) << workers << " workers";
    }
}

TEST(TextPipeline, AbandonedPipelineStopsItsWorkers) {
    // Leaving without finish(), as an exception on the fetching thread
    // does, must neither hang nor write what was still in flight.
    const auto scans = make_scans(2000);
    std::string written;
    {
        TextPipeline pipeline(2, format_label, [&](std::string& text) { written += text; });
        for (const auto& scan : scans)
            pipeline.add(scan, spectrum_of(100));
    }
    std::string expected;
    for (const auto& scan : scans)
        format_label(expected, scan, spectrum_of(100).get());
    EXPECT_EQ(expected.compare(0, written.size(), written), 0) << "written text is a prefix";
    EXPECT_LT(written.size(), expected.size());
}

} // namespace
