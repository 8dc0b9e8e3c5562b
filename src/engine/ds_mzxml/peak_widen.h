// Decoded peak values, stored big-endian as 32- or 64-bit floats in m/z,
// intensity pairs, widened into the host's peaks.
#pragma once

#include <ds/data_source_intf.h>

#include <cstddef>

namespace orvoeng {

// Writes `count` pairs from `bytes` to `out` as peaks of doubles. True when
// every m/z is above `min_mz` (a NaN is not), so no peak needs leaving out.
bool widen_float_pairs(const unsigned char* bytes, std::size_t count, Peak* out, double min_mz);
bool widen_double_pairs(const unsigned char* bytes, std::size_t count, Peak* out, double min_mz);

} // namespace orvoeng
