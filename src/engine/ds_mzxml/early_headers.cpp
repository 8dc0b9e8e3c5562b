#include "early_headers.h"

#include "one_pass_header.h"
#include "scan_record.h"

#include <pal/file.h>
#include <pal/memory.h>

#include <algorithm>
#include <memory>
#include <string_view>
#include <system_error>

namespace orvoeng {

namespace {

// The thread's reads: a fraction of a reading block, as it holds only what
// one header at a time needs, and at least the most a header read takes.
constexpr std::size_t BUFFER = std::size_t{256} << 10;
static_assert(BUFFER >= ONE_PASS_HEADER_SPAN);

} // namespace

void EarlyHeaders::start(const std::wstring& path, std::int64_t size, const std::int64_t* offsets,
                         std::vector<ScanRecord>& records, bool to_the_end) {
    finish();
    read_count = 0;
    centroided_count = 0;
    listed_count.store(0, std::memory_order_relaxed);
    stop.store(false, std::memory_order_relaxed);
    listing_ended.store(false, std::memory_order_relaxed);
    thorough = to_the_end;
    if (records.capacity() * sizeof(ScanRecord) < WORTH_A_THREAD)
        return;
    try {
        worker = std::thread(&EarlyHeaders::run, this, path, size, offsets, &records);
    } catch (const std::system_error&) {
    }
}

void EarlyHeaders::finish() {
    if (!worker.joinable())
        return;
    if (!thorough)
        stop.store(true, std::memory_order_relaxed);
    listing_ended.store(true, std::memory_order_release);
    worker.join();
}

bool EarlyHeaders::wait_for_offsets(std::size_t count) const {
    for (;;) {
        if (stop.load(std::memory_order_relaxed))
            return false;
        // Looked at first: once the listing has ended, the count is final.
        const bool ended = listing_ended.load(std::memory_order_acquire);
        if (listed_count.load(std::memory_order_acquire) >= count)
            return true;
        if (ended)
            return false;
        std::this_thread::yield();
    }
}

void EarlyHeaders::run(std::wstring path, std::int64_t size, const std::int64_t* offsets,
                       std::vector<ScanRecord>* records) noexcept {
    try {
        read_scans(path, size, offsets, *records);
    } catch (...) {
        // Only a help: the header pass reads what was not read here.
    }
}

void EarlyHeaders::read_scans(const std::wstring& path, std::int64_t size,
                              const std::int64_t* offsets, std::vector<ScanRecord>& records) {
    // The pages of the records' room are asked for at once: those the
    // header pass writes after these too.
    PAL::populate_pages(records.data(), records.capacity() * sizeof(ScanRecord));
    PAL::File file;
    if (!file.open_read(path))
        return;
    const auto buffer = std::make_unique_for_overwrite<char[]>(BUFFER);
    std::int64_t base = 0;
    std::size_t held = 0;
    std::uint32_t centroided = 0;
    std::size_t scan = 0;
    // Within the room made: the list never moves while the thread has it.
    for (; scan < records.capacity(); ++scan) {
        // The scan's bytes end where the next scan's start: both listed.
        if (!wait_for_offsets(scan + 2))
            break;
        // As the header pass bounds a scan: within the file, in order.
        const std::int64_t begin = offsets[scan];
        const std::int64_t end = offsets[scan + 1];
        if (begin < 0 || end < begin || end > size)
            break;
        const auto span =
            static_cast<std::size_t>(std::min<std::int64_t>(end - begin, ONE_PASS_HEADER_SPAN));
        if (begin < base ||
            begin + static_cast<std::int64_t>(span) > base + static_cast<std::int64_t>(held)) {
            const auto count =
                static_cast<std::uint32_t>(std::min<std::int64_t>(BUFFER, size - begin));
            std::uint32_t got = 0;
            base = begin;
            held = file.read_at(begin, buffer.get(), count, got) ? got : 0;
            if (held < span)
                break;
        }
        OnePassHeader header =
            read_header_in_one_pass(std::string_view(buffer.get() + (begin - base), span),
                                    static_cast<std::uint32_t>(scan + 1));
        if (header.read != OnePassHeader::Read::WHOLE)
            break;
        const ScanHeader& values = header.values.finished();
        if (!level_fits(values))
            break;
        records.push_back(record_of(values));
        centroided += header.values.centroided_met ? 1 : 0;
        // Kept as they grow: a failure further on leaves these read.
        read_count = scan + 1;
        centroided_count = centroided;
    }
}

} // namespace orvoeng
