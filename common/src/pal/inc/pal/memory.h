// Byte-order comparison and in-place conversion of fixed-size units.
#pragma once

#include <pal/api.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

namespace PAL {

enum ByteOrder : std::uint32_t {
    BYTE_ORDER_UNKNOWN = 0, // rejected wherever orders are compared
    LITTLE_ENDIAN_ORDER = 1,
    BIG_ENDIAN_ORDER = 2, // "network" order, as mzXML peak data are stored
    NATIVE_ORDER = 3,     // this machine's order (little-endian)
};

// Raises AssertFailure "Unknown byte order" when either side is 0.
PAL_API bool same_byte_order(ByteOrder first, ByteOrder second);

// Reverses the bytes of `count` units of `unit_size` bytes in place when the
// orders differ. Unit sizes below 2 and a count of 0 do nothing at all; an
// odd unit size with differing orders raises "unit_size not multiple of two".
PAL_API void convert_byte_order(void* data, std::size_t unit_size, std::size_t count,
                                ByteOrder from, ByteOrder to);

// The large pages advise_large_pages asks for; memory aligned to them can
// be given them whole.
constexpr std::size_t LARGE_PAGE_BYTES = std::size_t{2} << 20;

// A hint that `bytes` at `data`, about to be written whole, may come in
// large pages where the OS offers them: a list of tens of megabytes then
// costs a few page faults instead of one every 4 KiB. Never fails.
PAL_API void advise_large_pages(void* data, std::size_t bytes);

// Asks the OS to give `bytes` at `data` their pages now, as writes would,
// leaving their contents as they are: a thread that has the time takes the
// page faults that the thread writing them later would otherwise meet.
// Does nothing where the OS has no such request. Never fails.
PAL_API void populate_pages(void* data, std::size_t bytes);

// Allocates lists of megabytes that are written whole, such as a table with
// an entry a scan: a block of a large page or more starts at a large-page
// boundary and asks for large pages, so that its whole large pages come as
// one page fault each, where a block placed anywhere holds few or none.
// Only the large pages inside the block are asked for, so it takes no more
// memory than its bytes. Smaller blocks are plain ones.
template <class T>
struct LargePageAllocator {
    using value_type = T;

    LargePageAllocator() noexcept = default;
    template <class U>
    LargePageAllocator(const LargePageAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        if (count > std::numeric_limits<std::size_t>::max() / sizeof(T))
            throw std::bad_array_new_length();
        const std::size_t bytes = count * sizeof(T);
        if (!large(bytes))
            return static_cast<T*>(::operator new(bytes));
        void* block = ::operator new (bytes, std::align_val_t{LARGE_PAGE_BYTES});
        advise_large_pages(block, bytes);
        return static_cast<T*>(block);
    }
    void deallocate(T* block, std::size_t count) noexcept {
        if (large(count * sizeof(T)))
            ::operator delete (block, std::align_val_t{LARGE_PAGE_BYTES});
        else
            ::operator delete(block);
    }

    template <class U>
    bool operator==(const LargePageAllocator<U>&) const noexcept {
        return true;
    }

private:
    static bool large(std::size_t bytes) { return bytes >= LARGE_PAGE_BYTES; }
};

// A list in large pages holds the same as a plain one with equal values.
template <class T>
bool operator==(const std::vector<T, LargePageAllocator<T>>& list, const std::vector<T>& other) {
    return list.size() == other.size() && std::equal(list.begin(), list.end(), other.begin());
}

} // namespace PAL
