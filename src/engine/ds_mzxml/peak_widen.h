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

// Writes `count` pairs from `bytes` to `out` as peaks of doubles. True when
// every m/z is above `min_mz` (a NaN is not), so no peak needs leaving out.
bool widen_float_pairs(const unsigned char* bytes, std::size_t count, Peak* out, double min_mz);
bool widen_double_pairs(const unsigned char* bytes, std::size_t count, Peak* out, double min_mz);

} // namespace orvoeng
