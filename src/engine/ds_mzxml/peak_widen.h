// Decoded peak values, stored big-endian as 32- or 64-bit floats in m/z,
// intensity pairs, widened into the host's peaks as the list is filled.
#pragma once

#include <ds/data_source_intf.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <type_traits>

namespace orvoeng {

// A value stored big-endian, as the bytes decoded from peak text hold it.
template <class T>
T big_endian_value(const unsigned char* bytes) {
    using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;
    Bits bits;
    std::memcpy(&bits, bytes, sizeof bits);
    if constexpr (std::endian::native == std::endian::little) {
        if constexpr (sizeof(T) == 4)
            bits = __builtin_bswap32(bits);
        else
            bits = __builtin_bswap64(bits);
    }
    return std::bit_cast<T>(bits);
}

// The stored pairs from `bytes` on, read as peaks: a list filled from them
// is written once, where a list sized first is cleared and then written.
// Reading a peak notes whether its m/z is above the floor.
template <class T>
class StoredPeaks {
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = Peak;
    using difference_type = std::ptrdiff_t;
    using pointer = const Peak*;
    using reference = Peak;

    StoredPeaks(const unsigned char* bytes, double floor, bool* all_above)
        : at(bytes), min_mz(floor), above(all_above) {}

    Peak operator*() const {
        const Peak peak{static_cast<double>(big_endian_value<T>(at)),
                        static_cast<double>(big_endian_value<T>(at + sizeof(T)))};
        *above = *above && peak.mz > min_mz;
        return peak;
    }
    Peak operator[](difference_type n) const { return *(*this + n); }
    StoredPeaks& operator++() {
        at += PAIR;
        return *this;
    }
    StoredPeaks operator++(int) {
        StoredPeaks was = *this;
        at += PAIR;
        return was;
    }
    StoredPeaks& operator--() {
        at -= PAIR;
        return *this;
    }
    StoredPeaks& operator+=(difference_type n) {
        at += n * PAIR;
        return *this;
    }
    StoredPeaks& operator-=(difference_type n) {
        at -= n * PAIR;
        return *this;
    }
    StoredPeaks operator+(difference_type n) const {
        StoredPeaks moved = *this;
        return moved += n;
    }
    difference_type operator-(const StoredPeaks& other) const { return (at - other.at) / PAIR; }
    bool operator==(const StoredPeaks& other) const { return at == other.at; }
    bool operator!=(const StoredPeaks& other) const { return at != other.at; }
    bool operator<(const StoredPeaks& other) const { return at < other.at; }

private:
    static constexpr difference_type PAIR = 2 * static_cast<difference_type>(sizeof(T));
    const unsigned char* at;
    double min_mz;
    bool* above;
};

} // namespace orvoeng
