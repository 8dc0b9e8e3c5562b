// Several threads of one host at once: data sources reading whole files into
// one event socket and one progress root, shared pointers dropped on threads
// other than their makers', catalog texts looked up side by side. Meant to
// run under ThreadSanitizer; elsewhere it checks what the threads read.
#include <host/session/catalog.h>
#include <host/session/events.h>
#include <host/session/plugin.h>

#include <ds/messages.h>

#include "support/mzxml_fixture.h"
#include "support/phase_barrier.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

namespace {

TEST(Concurrency, DataSourcesCatalogsAndSharedPointersOnSeveralThreads) {
    constexpr std::size_t threads = 4, scans = 12;
    fixture::TempDir dir;
    std::vector<std::filesystem::path> files;
    for (int f = 0; f < 2; ++f) {
        fixture::MzXmlWriter writer;
        writer.begin(scans).text("<dataProcessing centroided=\"1\"/>\n");
        for (std::size_t i = 0; i < scans; ++i) {
            fixture::ScanSpec one;
            one.values = {100.0 + static_cast<double>(i), 1.0, 200.0 + f, 2.0};
            writer.scan(one);
        }
        files.push_back(
            dir.write("run" + std::to_string(f) + ".mzXML", writer.end_run().index().str()));
    }
    std::size_t messages = 0, progress = 0; // counted under the socket's lock
    orvohost::EventChannel channel([&](const PAL::Event& e) {
        ++(e.kind == PAL::Event::PROGRESS_EVENT ? progress : messages);
    });
    const orvohost::Plugin plugin(ORVO_PLUGIN_PATH, channel.socket());
    orvohost::HostCatalog catalog(ORVO_CATALOG_DIR);
    PAL::SmartPtr<PAL::Progress> root(
        new PAL::Progress(channel.socket(), PAL::Message(0x4C020001), 1, 1));
    const PAL::SmartPtr<std::vector<int>> shared(new std::vector<int>(8, 1));

    std::vector<orvoeng::ScanList> handed(threads);
    fixture::PhaseBarrier meet(threads);
    std::atomic<std::size_t> peaks{0}, texts{0};
    std::vector<std::thread> pool;
    for (std::size_t t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            auto source = plugin.create();
            const orvoeng::PeakListOptions opts;
            handed[t] =
                source->open_file(files[t % 2].wstring(), 1, &opts, 1, channel.socket(), root);
            for (const auto& record : *handed[t])
                peaks += source->get_spectrum(record.label, 0, channel.socket())->peaks->size();
            for (int i = 0; i < 200; ++i) {
                PAL::SmartPtr<std::vector<int>> copy(shared);
                copy = shared;
            }
            for (const auto& def : orvoeng::msg::ALL)
                texts +=
                    catalog.text(PAL::Message(def.id)).find(L"not found") == std::wstring::npos;
            texts += !PAL::WindowsError(EIO, 0, "test").description().empty();
            meet.arrive_and_wait();
            handed[(t + 1) % threads].reset(); // a list another thread made
        });
    }
    for (auto& thread : pool)
        thread.join();
    root.reset();
    EXPECT_EQ(peaks.load(), threads * scans * 2);
    EXPECT_EQ(texts.load(), threads * (orvoeng::msg::ALL.size() + 1));
    EXPECT_GT(progress, 0u);
    EXPECT_GT(messages, threads) << "each walk posts its start";
    EXPECT_EQ(shared.pn->use_count, 1);
    for (const auto& list : handed)
        EXPECT_FALSE(list) << "every list was dropped";
}

} // namespace
