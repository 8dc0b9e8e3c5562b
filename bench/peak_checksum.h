// The checksum both timed readers compute over the peaks they return, so
// that every value is used and equal checksums mean equal values.
//
// The values are summed in the order m/z, intensity, m/z, ... into eight
// lanes: one chain of additions would cost four cycles a value, as much as
// a third of fetching the spectra, and the bench would time its own loop
// instead of the reader.
#pragma once

#include <cstddef>

namespace readbench {

// `value(i)` gives the i-th of `count` values in that order.
template <class Value>
double peak_checksum(std::size_t count, Value value) {
    constexpr std::size_t LANES = 8;
    double lane[LANES] = {};
    std::size_t i = 0;
    for (; i + LANES <= count; i += LANES)
        for (std::size_t j = 0; j < LANES; ++j)
            lane[j] += value(i + j);
    for (; i < count; ++i)
        lane[i % LANES] += value(i);
    return ((lane[0] + lane[1]) + (lane[2] + lane[3])) +
           ((lane[4] + lane[5]) + (lane[6] + lane[7]));
}

} // namespace readbench
