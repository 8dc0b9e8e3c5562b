// The checksum both timed readers compute over the peaks they return, so
// that every value is used and equal checksums mean equal values.
//
// The sum runs in four lanes: one chain of additions would cost four cycles
// a peak, as much as a third of fetching the spectra, and the bench would
// time its own loop instead of the reader.
#pragma once

#include <cstddef>

namespace readbench {

// `mz(k)` and `intensity(k)` give peak k's values.
template <class Mz, class Intensity>
double peak_checksum(std::size_t count, Mz mz, Intensity intensity) {
    double lane[4] = {0.0, 0.0, 0.0, 0.0};
    std::size_t k = 0;
    for (; k + 4 <= count; k += 4)
        for (std::size_t j = 0; j < 4; ++j)
            lane[j] += mz(k + j) + intensity(k + j);
    for (; k < count; ++k)
        lane[k % 4] += mz(k) + intensity(k);
    return (lane[0] + lane[1]) + (lane[2] + lane[3]);
}

} // namespace readbench
