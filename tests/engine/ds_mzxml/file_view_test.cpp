// Sparse reads: bytes of a gap are left unread, and a span that touches a
// gap is read from the file, never served from what the buffer held
// there; on the caller's refill and on the read ahead alike. The work done
// on a block read ahead ends when the reader waits for it, and comes with
// the block.
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
    // Every refill runs a block; the middle half of each block is a gap
    // while the operation is sparse.
    bool sparse = true;
    FileView view(
        file, [](std::int64_t from) { return from + BLOCK; },
        [&sparse](std::int64_t from, std::int64_t end, Gaps& gaps) {
            if (!sparse)
                return;
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
    view.start_operation(view.size());
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
    sparse = false;
    view.start_operation(view.size());
    bytes_asked = 0;
    expect_bytes(BLOCK, 64);
    expect_bytes(BLOCK + BLOCK / 2, 64);
    view.settle();
}

// Work that would go on for a minute: it ends only as the reader waits.
class SlowWork final : public orvoeng::ReadAheadHook {
public:
    void starting(std::int64_t from) noexcept override { started_at = from; }
    void read(std::int64_t base, std::string_view, const Gaps&,
              const std::atomic<bool>& wanted) noexcept override {
        const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!wanted.load() && std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
        worked_on = base;
        ended_by_wait = wanted.load();
    }
    void held(bool ahead) noexcept override { held_ahead = ahead ? worked_on : -1; }

    std::int64_t started_at = -1;
    std::int64_t worked_on = -1;
    std::int64_t held_ahead = -1; // the block worked on, once the view holds it
    bool ended_by_wait = false;
};

TEST(FileView, WorkOnABlockReadAheadEndsWhenTheReaderWaitsForIt) {
    constexpr auto BLOCK = static_cast<std::int64_t>(FileView::BLOCK);
    const std::string content(static_cast<std::size_t>(3 * BLOCK), 'x');
    fixture::TempDir dir;
    const auto path = dir.write("bytes", content);
    PAL::File file;
    ASSERT_TRUE(file.open_read(path.wstring()));
    SlowWork work;
    FileView view(
        file, [](std::int64_t from) { return from + BLOCK; }, {}, &work);
    view.reset();
    view.start_operation(view.size());
    EXPECT_EQ(view.bytes(0, BLOCK).size(), BLOCK);
    // Read in order, the second block starts a read ahead of the third;
    // asking for the third waits for the work on it, which the view then
    // holds with its bytes.
    EXPECT_EQ(view.bytes(BLOCK, BLOCK).size(), BLOCK);
    EXPECT_EQ(work.started_at, 2 * BLOCK);
    EXPECT_EQ(view.bytes(2 * BLOCK, 16).size(), 16u);
    EXPECT_EQ(work.held_ahead, 2 * BLOCK);
    EXPECT_TRUE(work.ended_by_wait);
    // Bytes read again by the reader come without it.
    view.start_operation(view.size());
    EXPECT_EQ(view.bytes(0, 16).size(), 16u);
    EXPECT_EQ(work.held_ahead, -1);
}

} // namespace
