// Room for a list the reader fills whole whose type is the host's: the
// records of the headers read at open (the reader's own lists use
// PAL::LargePageAllocator, which also places them on a large page). Such
// lists run to tens of megabytes, and each 4 KiB page of fresh memory costs
// a page fault when first written, a tenth of a header walk's time; large
// pages, where the OS gives them, cost a few.
#pragma once

#include <pal/memory.h>

#include <cstddef>
#include <vector>

namespace orvoeng {

template <class T>
void reserve_filled(std::vector<T>& list, std::size_t count) {
    list.reserve(count);
    PAL::advise_large_pages(list.data(), list.capacity() * sizeof(T));
}

} // namespace orvoeng
