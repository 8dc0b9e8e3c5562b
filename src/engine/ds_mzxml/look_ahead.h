// The look-ahead: what the read-ahead thread works out on a block it read
// before the reader asks for it, so that the reader finds the work done
// when it comes to those bytes. One walk over the block's scans (found by
// the scan index) reads, for each scan the block holds, what the operation
// that read ahead takes: its header in one pass (one_pass_header.h) or its
// peaks found and decoded in one pass (one_pass_peaks.h), where the scan is
// plain. The walk ends when the reader waits for the block; the reader
// reads whatever it did not reach, and every scan that is not plain, its
// own way. The reader owns the look-ahead and gives it to its file view as
// the view's hook.
#pragma once

#include "file_view.h"
#include "header_values.h"
#include "one_pass_peaks.h"
#include "reader_types.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace orvoeng {

// What the reader takes from the bytes of an operation: what is worth
// working out ahead for it.
struct AheadWork {
    bool headers = false;
    bool peaks = false;
};

class LookAhead final : public ReadAheadHook {
public:
    // `offsets`: the reader's scan index. It stays as it is while a block is
    // worked on: the reader changes it only when its view is settled.
    explicit LookAhead(const ScanOffsets& offsets) : index(offsets) {}

    // What the operation the reader starts takes: the read ahead of its
    // bytes works that out.
    void expect(AheadWork work) { wanted_work = work; }

    // Whether the walk goes on to the block's end even once the reader
    // waits: how much of a block the look-ahead reads otherwise depends on
    // how the two threads run, so the tests have every plain scan read
    // ahead with it.
    void set_thorough(bool on) { thorough = on; }
    bool is_thorough() const { return thorough; }

    // The header of the scan at `begin` as a one-pass read of its first
    // `length` bytes gives it; null when the walk did not read it.
    const HeaderValues* header(std::int64_t begin, std::size_t length) const;
    // The peaks of the scan of `length` bytes at `begin`, with `values`
    // their decoded bytes; null when the walk did not read them. It reads
    // them only from bytes that open with the scan's whole start tag, the
    // check the reader makes of every scan it fetches.
    const PlainPeaks* peaks(std::int64_t begin, std::size_t length,
                            const unsigned char*& values) const;

    void starting(std::int64_t from) noexcept override;
    void read(std::int64_t base, std::string_view bytes, const Gaps& gaps,
              const std::atomic<bool>& wanted) noexcept override;
    void held(bool ahead) noexcept override;

private:
    // One scan of a block, found by its first byte and its length.
    struct Scan {
        std::int64_t begin = 0;
        std::size_t length = 0;
        std::size_t header_length = 0; // of its first bytes the header read
        bool header_read = false;
        bool peaks_read = false;
        HeaderValues header;
        PlainPeaks peaks;
        std::size_t values_at = 0; // of its peaks' values in `decoded`
    };
    // What the walk found on one block. The reader's thread writes the block
    // it holds (its `next`) at every scan it looks up while the other thread
    // fills the other block: each block has cache lines of its own (two, as
    // the processor fetches lines in pairs), or every look-up and every scan
    // the walk adds would pull the same line back and forth between cores.
    struct alignas(128) Block {
        AheadWork work;
        std::vector<Scan> scans;
        std::unique_ptr<unsigned char[]> decoded;
        std::size_t capacity = 0;
        mutable std::size_t next = 0; // where the next find looks first

        void clear() noexcept {
            scans.clear();
            next = 0;
        }
        // The scan of `length` bytes at `begin`; null when none.
        const Scan* find(std::int64_t begin) const;
    };

    void walk(Block& block, std::int64_t base, std::string_view bytes, const Gaps& gaps,
              const std::atomic<bool>& wanted);

    const ScanOffsets& index;
    AheadWork wanted_work;
    bool thorough = false;
    // The block the reader's view holds, and the one read ahead; they trade
    // places when the view takes the bytes read ahead.
    Block blocks[2];
    unsigned held_block = 0;
};

} // namespace orvoeng
