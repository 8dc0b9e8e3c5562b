// Byte-order comparison and in-place unit reversal.
#include <pal/exception.h>
#include <pal/memory.h>

#include "os/syscalls.h"

#include <cstdint>
#include <cstring>
#include <utility>

namespace {
constexpr const char* source_file = "memory";

// This machine is little-endian, so "native" reads as little-endian.
PAL::ByteOrder resolve(PAL::ByteOrder order) {
    return order == PAL::NATIVE_ORDER ? PAL::LITTLE_ENDIAN_ORDER : order;
}

// Peak data come as 4- and 8-byte units; whole-word reversal lets the
// compiler use its byte-swap instruction.
template <class Word>
void reverse_words(unsigned char* data, std::size_t count) {
    for (std::size_t n = 0; n < count; ++n, data += sizeof(Word)) {
        Word word;
        std::memcpy(&word, data, sizeof word);
        Word reversed = 0;
        for (std::size_t i = 0; i < sizeof word; ++i, word >>= 8)
            reversed = static_cast<Word>(reversed << 8 | (word & 0xFF));
        std::memcpy(data, &reversed, sizeof reversed);
    }
}
} // namespace

namespace PAL {

bool same_byte_order(ByteOrder first, ByteOrder second) {
    PAL_ASSERT(first != BYTE_ORDER_UNKNOWN && second != BYTE_ORDER_UNKNOWN, L"Unknown byte order");
    return resolve(first) == resolve(second);
}

void convert_byte_order(void* data, std::size_t unit_size, std::size_t count, ByteOrder from,
                        ByteOrder to) {
    if (unit_size < 2 || count == 0)
        return;
    if (same_byte_order(from, to))
        return;
    PAL_ASSERT(unit_size % 2 == 0, L"unit_size not multiple of two");

    auto* unit = static_cast<unsigned char*>(data);
    if (unit_size == 4)
        return reverse_words<std::uint32_t>(unit, count);
    if (unit_size == 8)
        return reverse_words<std::uint64_t>(unit, count);
    for (std::size_t n = 0; n < count; ++n, unit += unit_size)
        for (std::size_t i = 0; i < unit_size / 2; ++i)
            std::swap(unit[i], unit[unit_size - 1 - i]);
}

} // namespace PAL

void PAL::advise_large_pages(void* data, std::size_t bytes) {
    os::syscalls().advise_large_pages(data, bytes);
}

void PAL::populate_pages(void* data, std::size_t bytes) {
    os::syscalls().populate_pages(data, bytes);
}
