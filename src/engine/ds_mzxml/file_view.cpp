#include "file_view.h"

#include <pal/memory.h>

#include <algorithm>
#include <limits>

namespace orvoeng {

FileView::Buffer FileView::make_buffer(std::size_t bytes) {
    // Only a file that has a block to read ahead uses both halves.
    if (bytes != BLOCK || file_size <= static_cast<std::int64_t>(BLOCK))
        return own_buffer(bytes);
    if (!blocks)
        blocks = own_buffer(2 * BLOCK);
    for (char* half : {blocks.get(), blocks.get() + BLOCK})
        if (buffer.get() != half && spare.get() != half)
            return Buffer(half, BufferFree{BLOCK, false});
    return own_buffer(bytes);
}

void FileView::settle() {
    std::uint32_t got = 0;
    std::uint32_t error = 0;
    if (background.busy())
        background.wait(got, error);
}

void FileView::forget_held() {
    if (hook)
        hook->held(false);
    gaps_held.clear();
}

bool FileView::in_gap(std::int64_t offset, std::size_t count) const {
    const std::int64_t end = offset + static_cast<std::int64_t>(count);
    // The first gap that ends after the span starts.
    const auto gap =
        std::upper_bound(gaps_held.begin(), gaps_held.end(), offset,
                         [](std::int64_t at, const std::pair<std::int64_t, std::int64_t>& g) {
                             return at < g.second;
                         });
    return gap != gaps_held.end() && gap->first < end;
}

Gaps FileView::refill_gaps(std::int64_t from, std::size_t count, std::size_t needed) const {
    Gaps gaps;
    if (!caching || !gaps_of)
        return gaps;
    gaps_of(from, from + static_cast<std::int64_t>(count), gaps);
    // The bytes asked for are read, whatever the reader said.
    const std::int64_t keep = from + static_cast<std::int64_t>(needed);
    std::erase_if(
        gaps, [keep](const std::pair<std::int64_t, std::int64_t>& g) { return g.first < keep; });
    return gaps;
}

void FileView::reset() {
    settle();
    forget_held();
    held = 0;
    base = 0;
    fresh_from = 0;
    served_end = 0;
    if (!file.size(file_size) || file_size < 0) {
        file_size = 0;
        note_failure(file.last_error());
    }
    ahead_end = file_size;
}

std::string_view FileView::bytes(std::int64_t offset, std::size_t count) {
    if (offset < 0 || offset >= file_size || count == 0)
        return {};
    const auto left = static_cast<std::uint64_t>(file_size - offset);
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, left));

    if (caching && offset >= base && offset >= fresh_from &&
        static_cast<std::uint64_t>(offset - base) + count <= held &&
        (gaps_held.empty() || !in_gap(offset, count))) {
        served_end = std::max(served_end, offset + static_cast<std::int64_t>(count));
        return {buffer.get() + (offset - base), count};
    }

    std::size_t want = count;
    if (caching && ahead_end > offset) {
        const auto ahead = static_cast<std::uint64_t>(std::min(ahead_end, file_size) - offset);
        want = std::max(want, static_cast<std::size_t>(std::min<std::uint64_t>(ahead, BLOCK)));
    }
    want = std::min<std::size_t>(want, std::numeric_limits<std::uint32_t>::max());
    const bool in_order = held > 0 && offset == base + static_cast<std::int64_t>(held);

    std::uint32_t got = 0;
    bool taken = false;
    if (background.busy()) {
        const bool same = background.offset() == offset && background.count() == want;
        std::uint32_t ahead_got = 0;
        std::uint32_t error = 0;
        const bool ok = background.wait(ahead_got, error);
        if (same) {
            // A failed read ahead is not read again: the caller's own read
            // of the same bytes would wait on the same failing device.
            std::swap(buffer, spare);
            std::swap(capacity, spare_capacity);
            gaps_held.swap(background.gaps());
            got = ok ? ahead_got : 0;
            taken = true;
            if (!ok) {
                note_failure(error);
                forget_held();
            } else if (hook) {
                hook->held(true);
            }
        }
    }
    if (!taken && want > capacity) {
        // Grown to the largest request, never shrunk: the buffer is the
        // reader's one allocation for its bytes. A small file gets a buffer
        // of its own size, not a whole block.
        const auto whole = static_cast<std::size_t>(
            std::min<std::uint64_t>(static_cast<std::uint64_t>(file_size), BLOCK));
        capacity = std::max(want, caching ? whole : want);
        buffer.reset();
        held = 0;
        buffer = make_buffer(capacity);
    }
    if (!taken) {
        forget_held();
        Gaps gaps = refill_gaps(offset, want, count);
        if (!read_around(file, offset, buffer.get(), static_cast<std::uint32_t>(want), gaps, got)) {
            got = 0;
            note_failure(file.last_error());
        }
        gaps_held = std::move(gaps);
    }
    base = offset;
    held = got;
    fresh_from = offset;
    const std::size_t given = std::min<std::size_t>(count, got);
    served_end = offset + static_cast<std::int64_t>(given);
    // A short read is the file's end or a failure: nothing follows to read.
    if (caching && in_order && got == want && next_refill_end)
        read_ahead_from(offset + static_cast<std::int64_t>(got));
    return {buffer.get(), given};
}

void FileView::prefetch(std::int64_t offset, std::size_t count) const {
    constexpr std::size_t LINE = 64;
    if (!caching || offset < base || offset >= base + static_cast<std::int64_t>(held))
        return;
    const auto first = static_cast<std::size_t>(offset - base);
    const std::size_t last = std::min(held, first + count);
    for (std::size_t at = first; at < last; at += LINE)
        __builtin_prefetch(buffer.get() + at);
}

void FileView::read_ahead_from(std::int64_t from) {
    // Only a refill of at most a block, as a scan read's would be, and
    // within the file's size as it was asked.
    const std::int64_t end = std::min(next_refill_end(from), file_size);
    if (end <= from || end - from > static_cast<std::int64_t>(BLOCK))
        return;
    const auto count = static_cast<std::size_t>(end - from);
    if (count > spare_capacity) {
        spare.reset();
        spare_capacity = std::max(count, capacity);
        spare = make_buffer(spare_capacity);
    }
    Gaps gaps = refill_gaps(from, count, 0);
    ReadAhead::AfterRead after;
    if (hook) {
        hook->starting(from);
        after = [to = hook, bytes = spare.get(), from](std::uint32_t got, const Gaps& unread,
                                                       const std::atomic<bool>& wanted) {
            to->read(from, std::string_view(bytes, got), unread, wanted);
        };
    }
    background.start(from, spare.get(), static_cast<std::uint32_t>(count), std::move(after),
                     std::move(gaps));
}

} // namespace orvoeng
