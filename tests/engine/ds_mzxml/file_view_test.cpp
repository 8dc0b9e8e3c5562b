// Sparse reads: bytes of a gap are left unread, and a span that touches a
// gap is read from the file, never served from what the buffer held
// there; on the caller's refill and on the read ahead alike. Notes on a
// block read ahead end when the reader waits for it.
#include "common/pal/os_seam.h"
#include "support/mzxml_fixture.h"

#include <file_view.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace {

using orvoeng::FileView;
using orvoeng::Gaps;

std::atomic<long long> bytes_asked{0};

TEST(FileView, GapsAreLeftUnreadAndNeverServed) {
    constexpr auto BLOCK = static_cast<std::int64_t>(FileView::BLOCK);
    // Bytes that tell their place: never 0, as fresh memory is.
    std::string content(static_cast<std::size_t>(4 * BLOCK), ' ');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>('!' + (i * 7 + i / 251) % 90);
    fixture::TempDir dir;
    const auto path = dir.write("bytes", content);

    pal_test::SyscallsGuard guard;
    guard.table().file_read_at = [](std::intptr_t h, std::int64_t at, void* b, std::uint32_t n,
                                    std::uint32_t& error) -> std::int64_t {
        bytes_asked += n;
        return PAL::os::native_syscalls().file_read_at(h, at, b, n, error);
    };
    PAL::File file;
    ASSERT_TRUE(file.open_read(path.wstring()));
    // Every refill runs a block; the middle half of each block is a gap.
    FileView view(
        file, [](std::int64_t from) { return from + BLOCK; },
        [](std::int64_t from, std::int64_t end, Gaps& gaps) {
            const std::int64_t block = from / BLOCK * BLOCK;
            for (std::int64_t at = block; at < end; at += BLOCK)
                if (at + BLOCK / 4 >= from && at + 3 * BLOCK / 4 <= end)
                    gaps.emplace_back(at + BLOCK / 4, at + 3 * BLOCK / 4);
        });
    view.reset();
    const auto expect_bytes = [&](std::int64_t at, std::size_t count) {
        const std::string_view got = view.bytes(at, count);
        EXPECT_EQ(got, std::string_view(content).substr(static_cast<std::size_t>(at), count))
            << "at " << at;
    };
    view.start_operation(view.size(), false, true);
    // In order: the caller's refills, then reads ahead taken.
    for (std::int64_t block = 0; block < 4; ++block) {
        expect_bytes(block * BLOCK, 64);
        expect_bytes(block * BLOCK + 3 * BLOCK / 4, 64);
    }
    view.settle();
    EXPECT_LT(bytes_asked.load(), static_cast<long long>(content.size()) * 3 / 4)
        << "the gaps were read";
    // Spans in a gap and across a gap's ends, behind and ahead.
    bytes_asked = 0;
    for (std::int64_t block = 3; block >= 0; --block) {
        expect_bytes(block * BLOCK + BLOCK / 2, 100);
        expect_bytes(block * BLOCK + BLOCK / 4 - 10, 20);
        expect_bytes(block * BLOCK + 3 * BLOCK / 4 - 10, 20);
    }
    EXPECT_GT(bytes_asked.load(), 0);
    // An operation that is not sparse reads whole.
    view.start_operation(view.size());
    bytes_asked = 0;
    expect_bytes(BLOCK, 64);
    expect_bytes(BLOCK + BLOCK / 2, 64);
    view.settle();
}

// Notes that would go on for a minute: they end only as the reader waits.
class SlowNotes final : public orvoeng::BlockNotes {
public:
    void take(std::int64_t base, std::string_view, unsigned, const Gaps&,
              const std::atomic<bool>& wanted) noexcept override {
        const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!wanted.load() && std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
        taken_at = base;
        ended_by_wait = wanted.load();
    }
    void forget() noexcept override { taken_at = -1; }

    std::int64_t taken_at = -1;
    bool ended_by_wait = false;
};

TEST(FileView, NotesEndWhenTheReaderWaitsForTheirBlock) {
    constexpr auto BLOCK = static_cast<std::int64_t>(FileView::BLOCK);
    const std::string content(static_cast<std::size_t>(3 * BLOCK), 'x');
    fixture::TempDir dir;
    const auto path = dir.write("bytes", content);
    PAL::File file;
    ASSERT_TRUE(file.open_read(path.wstring()));
    FileView view(file, [](std::int64_t from) { return from + BLOCK; });
    view.set_notes(std::make_unique<SlowNotes>(), std::make_unique<SlowNotes>());
    view.reset();
    view.start_operation(view.size(), 1);
    EXPECT_EQ(view.bytes(0, BLOCK).size(), BLOCK);
    // Read in order, the second block starts a read ahead of the third,
    // with notes; asking for the third waits for them.
    EXPECT_EQ(view.bytes(BLOCK, BLOCK).size(), BLOCK);
    EXPECT_EQ(view.bytes(2 * BLOCK, 16).size(), 16u);
    const auto* notes = static_cast<const SlowNotes*>(view.notes());
    EXPECT_EQ(notes->taken_at, 2 * BLOCK);
    EXPECT_TRUE(notes->ended_by_wait);
}

} // namespace
