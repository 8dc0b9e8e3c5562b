#include "peak_widen.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// `values` stored big-endian as T, as decoded peak text holds them.
template <class T>
std::vector<unsigned char> stored(const std::vector<double>& values) {
    std::vector<unsigned char> bytes(values.size() * sizeof(T));
    for (std::size_t i = 0; i < values.size(); ++i) {
        auto bits = std::bit_cast<std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>(
            static_cast<T>(values[i]));
        for (std::size_t b = 0; b < sizeof(T); ++b)
            bytes[i * sizeof(T) + b] =
                static_cast<unsigned char>(bits >> (8 * (sizeof(T) - 1 - b)));
    }
    return bytes;
}

// Every count around the vector step's width, with one m/z at or below the
// floor (or NaN) at each place, against the scalar loop and the values.
template <class T>
void widen_like_the_scalar_loop() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (std::size_t count = 0; count <= 11; ++count) {
        for (std::size_t spoilt = 0; spoilt <= count; ++spoilt) {
            for (const double low : {50.0, nan, -1.0}) {
                std::vector<double> values;
                for (std::size_t i = 0; i < count; ++i) {
                    values.push_back(i == spoilt ? low : 100.0 + 1.5 * static_cast<double>(i));
                    values.push_back(i == spoilt ? 0.25 : -7.0); // intensities never count
                }
                const auto bytes = stored<T>(values);
                std::vector<orvoeng::Peak> fast(count), slow(count);
                const bool fast_above =
                    orvoeng::widen_pairs<T>(bytes.data(), count, fast.data(), 50.0);
                const bool slow_above =
                    orvoeng::widen_pairs_scalar<T>(bytes.data(), count, slow.data(), 50.0);
                SCOPED_TRACE(testing::Message()
                             << "count " << count << ", m/z " << low << " at " << spoilt);
                EXPECT_EQ(fast_above, spoilt == count);
                EXPECT_EQ(fast_above, slow_above);
                for (std::size_t i = 0; i < count; ++i) {
                    EXPECT_EQ(std::memcmp(&fast[i], &slow[i], sizeof(orvoeng::Peak)), 0) << i;
                    if (!std::isnan(values[2 * i])) {
                        EXPECT_EQ(fast[i].mz, static_cast<double>(static_cast<T>(values[2 * i])));
                    }
                    EXPECT_EQ(fast[i].intensity,
                              static_cast<double>(static_cast<T>(values[2 * i + 1])));
                }
            }
        }
    }
}

TEST(PeakWiden, FloatsAsTheScalarLoop) {
    widen_like_the_scalar_loop<float>();
}

TEST(PeakWiden, DoublesAsTheScalarLoop) {
    widen_like_the_scalar_loop<double>();
}

} // namespace
