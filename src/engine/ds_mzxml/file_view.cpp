#include "file_view.h"

#include <algorithm>
#include <limits>

namespace orvoeng {

void FileView::reset() {
    held = 0;
    base = 0;
    fresh_from = 0;
    served_end = 0;
    if (!file.size(file_size) || file_size < 0)
        file_size = 0;
    ahead_end = file_size;
}

std::string_view FileView::bytes(std::int64_t offset, std::size_t count) {
    if (offset < 0 || offset >= file_size || count == 0)
        return {};
    const auto left = static_cast<std::uint64_t>(file_size - offset);
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, left));

    if (caching && offset >= base && offset >= fresh_from &&
        static_cast<std::uint64_t>(offset - base) + count <= held) {
        served_end = std::max(served_end, offset + static_cast<std::int64_t>(count));
        return {buffer.get() + (offset - base), count};
    }

    std::size_t want = count;
    if (caching && ahead_end > offset) {
        const auto ahead = static_cast<std::uint64_t>(std::min(ahead_end, file_size) - offset);
        want = std::max(want, static_cast<std::size_t>(std::min<std::uint64_t>(ahead, BLOCK)));
    }
    want = std::min<std::size_t>(want, std::numeric_limits<std::uint32_t>::max());
    if (want > capacity) {
        // Grown to the largest request, never shrunk: the buffer is the
        // reader's one allocation for its bytes. A small file gets a buffer
        // of its own size, not a whole block.
        const auto whole = static_cast<std::size_t>(
            std::min<std::uint64_t>(static_cast<std::uint64_t>(file_size), BLOCK));
        capacity = std::max(want, caching ? whole : want);
        buffer.reset();
        held = 0;
        buffer.reset(new char[capacity]);
    }
    std::uint32_t got = 0;
    if (!file.read_at(offset, buffer.get(), static_cast<std::uint32_t>(want), got))
        got = 0;
    base = offset;
    held = got;
    fresh_from = offset;
    const std::size_t given = std::min<std::size_t>(count, got);
    served_end = offset + static_cast<std::int64_t>(given);
    return {buffer.get(), given};
}

} // namespace orvoeng
