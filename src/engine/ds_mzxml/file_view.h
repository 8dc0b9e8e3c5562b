// The reading layer: a file served from one reused buffer filled by
// positioned reads, so that reading lines, searching blocks and fetching
// scans cost a system call per buffer, not per line or per scan.
//
// Bytes read ahead are handed out once: an operation that asks again for
// bytes an earlier operation was given reads them from the file anew, so a
// spectrum fetched twice reflects the file as it is, while operations that
// move forwards through the file (the walk, fetching every spectrum in
// order) share one read per block.
//
// A refill reads from the asked offset forwards, up to the read-ahead limit
// the reader sets for the operation at hand (a scan operation never reads
// ahead into a scan it cannot use whole), at most BLOCK bytes unless one
// request is larger. The file's size is asked once, when the view is reset.
// A file cut short by another process after that reads as ending where its
// bytes end: a shorter span, never a fault.
//
// A read that fails gives no bytes (an empty or shorter span) and is kept:
// failure() tells the reader, which must not take the missing bytes for
// the file's content, the OS error of the first one since clear_failure().
// A read ahead that fails counts only when its bytes are taken.
//
// Reading in order, a refill that starts where the last one ended is
// followed by a read ahead, on a thread of its own, of the bytes the next
// refill will ask for: the reader tells the view where that refill would
// end. The next refill takes those bytes when it asks for exactly them, as
// if it had read them itself; any other read waits for it and drops it.
#pragma once

#include "byte_source.h"
#include "read_ahead.h"

#include <pal/file.h>
#include <pal/memory.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <string_view>

#ifndef ORVO_READ_BLOCK
#define ORVO_READ_BLOCK 1048576
#endif

namespace orvoeng {

// What the view's owner works out from bytes read ahead, while its reader
// works through the bytes before them. The view calls it at three points
// and knows nothing of what is worked out.
class ReadAheadHook {
public:
    virtual ~ReadAheadHook() = default;
    // On the reader's thread, as a read ahead of the bytes at `from` starts.
    virtual void starting(std::int64_t from) noexcept = 0;
    // On the read-ahead thread, once that read succeeded: the bytes read at
    // `base`, but for the `gaps` left unread in them. Once `wanted` is true
    // the reader waits for the bytes, and the work, only ever a help, ends.
    virtual void read(std::int64_t base, std::string_view bytes, const Gaps& gaps,
                      const std::atomic<bool>& wanted) noexcept = 0;
    // On the reader's thread, whenever the bytes held change: `ahead` when
    // they are now the bytes the last read() was given, false when they are
    // any others (read by the reader, a read ahead that failed, or none).
    virtual void held(bool ahead) noexcept = 0;
};

// Frees a FileView's buffer of `size` bytes as it was made; a buffer that is
// half of the view's pair of blocks is freed with the pair.
struct BufferFree {
    std::size_t size = 0;
    bool owned = true;
    void operator()(char* bytes) const {
        if (owned)
            PAL::LargePageAllocator<char>().deallocate(bytes, size);
    }
};

class FileView final : public ByteSource {
public:
    // The bytes a refill reads at most; the build sets it (1 MiB unless a
    // test or fuzzing build asks for a tiny one). A block this size is still
    // in the cache when it is worked through, and what is worked out ahead
    // on it is small.
    static constexpr std::size_t BLOCK = ORVO_READ_BLOCK;
    static_assert(BLOCK >= 64, "a block holds at least the texts searched across blocks");

    // Where a refill starting at an offset would end, when the reader knows
    // it; the offset itself when it does not.
    using RefillEnd = std::function<std::int64_t(std::int64_t)>;
    // What a refill of [from, end) may leave unread, in order: the reader
    // knows which bytes its operation looks at.
    using FindGaps = std::function<void(std::int64_t from, std::int64_t end, Gaps& gaps)>;

    FileView(PAL::File& opened, RefillEnd refill_end, FindGaps find_gaps = {},
             ReadAheadHook* after_read = nullptr)
        : file(opened), next_refill_end(std::move(refill_end)), gaps_of(std::move(find_gaps)),
          hook(after_read), background(opened) {}

    // Waits for a read ahead still in flight: before the file is opened anew.
    void settle();

    // Forgets the bytes held and asks the file's size: after an open.
    void reset();
    std::int64_t size() const { return file_size; }

    // Starts an operation whose refills read no further than `read_ahead_end`
    // (the file's end when not given). Bytes handed out to earlier
    // operations are no longer served from the buffer.
    void start_operation(std::int64_t read_ahead_end) {
        fresh_from = std::max(fresh_from, served_end);
        ahead_end = read_ahead_end;
    }
    void start_operation() { start_operation(file_size); }

    // Without caching every span is read anew with exactly the bytes asked:
    // the reference behaviour the cached one is checked against.
    void set_caching(bool on) {
        settle();
        forget_held();
        caching = on;
        held = 0;
    }

    std::string_view bytes(std::int64_t offset, std::size_t count) override;

    // Whether a read (or the size query) failed since the last clear, and
    // the OS error number of the first that did.
    bool failed() const { return has_failed; }
    std::uint32_t failure() const { return failed_with; }
    void clear_failure() {
        has_failed = false;
        failed_with = 0;
    }

    // Asks the processor to bring the held bytes of a range into its cache,
    // for a read that follows soon: bytes another thread read from the file
    // are otherwise met cold. Changes nothing the view serves.
    void prefetch(std::int64_t offset, std::size_t count) const;

private:
    // A buffer of bytes read; a large one is aligned to large pages and asks
    // for them (PAL::LargePageAllocator), so filling and reading it walk few
    // page tables. A block of a file larger than one is half of `blocks`.
    using Buffer = std::unique_ptr<char[], BufferFree>;
    static Buffer own_buffer(std::size_t bytes) {
        return Buffer(PAL::LargePageAllocator<char>().allocate(bytes), BufferFree{bytes});
    }
    Buffer make_buffer(std::size_t bytes);

    void note_failure(std::uint32_t error) {
        if (!has_failed)
            failed_with = error;
        has_failed = true;
    }

    void forget_held();
    // Whether [offset, offset + count) touches a gap of the bytes held.
    bool in_gap(std::int64_t offset, std::size_t count) const;
    // The gaps of a refill of [from, from + count), none of them in the
    // `needed` bytes at its start.
    Gaps refill_gaps(std::int64_t from, std::size_t count, std::size_t needed) const;
    // Starts the read ahead of the refill that would start at `from`.
    void read_ahead_from(std::int64_t from);

    PAL::File& file;
    RefillEnd next_refill_end;
    FindGaps gaps_of;
    ReadAheadHook* hook;
    Gaps gaps_held; // of buffer's bytes
    std::int64_t file_size = 0;
    std::int64_t ahead_end = 0;
    bool caching = true;
    bool has_failed = false;
    std::uint32_t failed_with = 0;

    // The block held and the block read ahead, made as one: two 1 MiB blocks
    // fill one large page, which the OS gives at one page fault where two
    // blocks of their own take one every 4 KiB. Before the buffers, which
    // may be its halves.
    Buffer blocks;
    Buffer buffer;
    std::size_t capacity = 0;
    std::int64_t base = 0;       // file offset of buffer[0]
    std::size_t held = 0;        // bytes valid from base
    std::int64_t fresh_from = 0; // the first byte no earlier operation was given
    std::int64_t served_end = 0; // the end of the bytes handed out

    Buffer spare; // what the read ahead fills
    std::size_t spare_capacity = 0;
    ReadAhead background; // last: it ends its reads before the buffers go
};

} // namespace orvoeng
