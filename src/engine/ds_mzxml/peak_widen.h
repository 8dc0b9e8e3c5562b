// Decoded peak values, stored big-endian as 32- or 64-bit floats in m/z,
// intensity pairs, widened into the host's peaks.
#pragma once

#include <ds/data_source_intf.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// Writes the `count` pairs stored at `bytes` (T: float or double) to `out`
// as peaks; true when every m/z is above `min_mz` (a NaN is not). With
// vector instructions where the processor has them.
template <class T>
bool widen_pairs(const unsigned char* bytes, std::size_t count, Peak* out, double min_mz);

// The same, a pair at a time: what the vector steps must give.
template <class T>
bool widen_pairs_scalar(const unsigned char* bytes, std::size_t count, Peak* out, double min_mz) {
    bool above = true;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* pair = bytes + 2 * sizeof(T) * i;
        out[i] = Peak{static_cast<double>(big_endian_value<T>(pair)),
                      static_cast<double>(big_endian_value<T>(pair + sizeof(T)))};
        above = above && out[i].mz > min_mz;
    }
    return above;
}

} // namespace orvoeng
