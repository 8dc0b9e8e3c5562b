// Numbers as text: the same text as fmt's "{}" of the float or double, which
// is the shortest that reads back to the same value, for every class of
// value (either notation, every exponent width, signs, zero, the extremes)
// and for random bit patterns of both widths.
#include <host/output/number_text.h>

#include <fmt/format.h>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

std::string as_float(float value) {
    std::string text;
    orvohost::append_as_float(text, static_cast<double>(value));
    return text;
}

TEST(NumberText, SameTextAsFmtAndReadsBackExactly) {
    std::vector<double> doubles = {0.0,
                                   -0.0,
                                   1.0,
                                   100.0,
                                   1e15,
                                   1e16,
                                   123456789012345680.0,
                                   0.0001,
                                   0.00001,
                                   1.5e-5,
                                   102.41888427734375,
                                   1e100,
                                   1e-100,
                                   1e300,
                                   -2.2250738585072014e-308,
                                   std::numeric_limits<double>::denorm_min(),
                                   std::numeric_limits<double>::max(),
                                   std::numeric_limits<double>::infinity(),
                                   -std::numeric_limits<double>::infinity()};
    for (int power = -30; power <= 30; ++power)
        for (double digits : {1.0, 1.25, 9.999999})
            doubles.push_back(digits * std::pow(10.0, power));
    std::vector<float> floats = {0.0F,
                                 -0.0F,
                                 102.41888F,
                                 1e8F,
                                 1e16F,
                                 1e-5F,
                                 3.4028235e38F,
                                 std::numeric_limits<float>::denorm_min(),
                                 std::numeric_limits<float>::min()};
    std::mt19937_64 random(20261208);
    // Digits on both sides of the point, every split of up to 9 digits, as
    // an m/z or an intensity has them.
    std::uniform_real_distribution<float> log_scale(0.0F, 9.0F);
    for (int i = 0; i < 100000; ++i)
        floats.push_back(std::pow(10.0F, log_scale(random)));
    for (int i = 0; i < 200000; ++i) {
        const auto bits = random();
        const auto one = std::bit_cast<double>(bits);
        const auto single = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
        if (std::isfinite(one))
            doubles.push_back(one);
        if (std::isfinite(single))
            floats.push_back(single);
    }
    for (double value : doubles) {
        const std::string text = orvohost::number_text(value);
        ASSERT_EQ(text, fmt::format("{}", value));
        if (std::isfinite(value)) {
            ASSERT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
        }
    }
    for (float value : floats) {
        const std::string text = as_float(value);
        ASSERT_EQ(text, fmt::format("{}", value));
        ASSERT_EQ(std::strtof(text.c_str(), nullptr), value) << text;
        ASSERT_TRUE(orvohost::is_single(static_cast<double>(value)));
    }
    EXPECT_EQ(as_float(std::numeric_limits<float>::quiet_NaN()), "nan");
    EXPECT_EQ(orvohost::number_text(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_FALSE(orvohost::is_single(102.41888));
    EXPECT_FALSE(orvohost::is_single(1e300)); // beyond the float range
}

} // namespace
