#include "xml_duration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

constexpr double UNCHANGED = -123.0; // what the field held before

struct Case {
    const char* text;
    double seconds; // UNCHANGED when the text is not read
};

class DurationTest : public ::testing::TestWithParam<Case> {};

TEST_P(DurationTest, ReadsSecondsOrLeavesTheFieldAlone) {
    const Case& c = GetParam();
    double seconds = UNCHANGED;
    const bool read = read_xml_duration(c.text, seconds);
    EXPECT_EQ(read, c.seconds != UNCHANGED) << c.text;
    EXPECT_DOUBLE_EQ(seconds, c.seconds) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Durations, DurationTest,
    ::testing::Values(
        // Full durations: days, hours, minutes, seconds, fractions anywhere.
        Case{"PT1M30S", 90.0}, Case{"P0DT12S", 12.0}, Case{"PT2M1S", 121.0},
        Case{"PT1H61S", 3661.0}, Case{"P1DT1H1M1.5S", 90061.5}, Case{"PT1.5M", 90.0},
        Case{"P2D", 172800.0}, Case{"PT0.25H", 900.0}, Case{"P0Y0M1D", 86400.0},
        Case{"PT90S\r\n", 90.0}, Case{"PT.5S", 0.5}, Case{"PT5.S", 5.0}, Case{"PT0S", 0.0},
        // Years and months have no length in seconds.
        Case{"P1Y", UNCHANGED}, Case{"P1M", UNCHANGED}, Case{"P1YT5S", UNCHANGED},
        // A negative duration is not a retention time.
        Case{"-PT1S", UNCHANGED}, Case{"-P1D", UNCHANGED},
        // Not durations, and not "PT" with a number: untouched.
        Case{"", UNCHANGED}, Case{"P", UNCHANGED}, Case{"PT", UNCHANGED}, Case{"12.5", UNCHANGED},
        Case{"pt12S", UNCHANGED}, Case{" PT12S", UNCHANGED}, Case{"PTS", UNCHANGED},
        Case{"P1DT", UNCHANGED}, Case{"PT.S", UNCHANGED}, Case{"2001-02-03T04:05:06", UNCHANGED}));

// What "PT%lfS" made of these stays: sign, blanks, exponent, hexadecimal,
// and whatever follows the number.
INSTANTIATE_TEST_SUITE_P(OldPattern, DurationTest,
                         ::testing::Values(Case{"PT12.5S", 12.5}, Case{"PT-1S", -1.0},
                                           Case{"PT+2S", 2.0}, Case{"PT 7S", 7.0},
                                           Case{"PT1e3S", 1000.0}, Case{"PT1eS", 1.0},
                                           Case{"PT0x10S", 16.0}, Case{"PT12.5", 12.5},
                                           Case{"PT3X", 3.0}, Case{"PT1M30X", 1.0},
                                           Case{"PT1H2M3S4", 1.0}, Case{"PT-1M", -1.0},
                                           Case{"PT0x.8S", 0.5}, Case{"PT1e+S", 1.0},
                                           Case{"PT0xS", UNCHANGED}, Case{"PT-S", UNCHANGED}));

TEST(Duration, CommonFormIsExactlyTheNumber) {
    for (const std::string number : {"0.1", "1501.35", "12.345678901234567", "3e-7", "1e300"}) {
        double seconds = 0.0;
        ASSERT_TRUE(read_xml_duration("PT" + number + "S", seconds));
        EXPECT_EQ(seconds, std::stod(number)) << number;
    }
}

TEST(Duration, InfinityAndNanAreNumbersToTheOldPattern) {
    double seconds = 0.0;
    ASSERT_TRUE(read_xml_duration("PTinfS", seconds));
    EXPECT_TRUE(std::isinf(seconds));
    ASSERT_TRUE(read_xml_duration("PTnan(1)S", seconds));
    EXPECT_TRUE(std::isnan(seconds));
}

} // namespace
