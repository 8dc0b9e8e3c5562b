#include "xml_duration.h"

#include <gtest/gtest.h>

namespace {

constexpr double UNCHANGED = -123.0;

TEST(Duration, ReadsSecondsOrLeavesTheFieldAlone) {
    const struct {
        const char* text;
        double seconds;
    } cases[] = {
        // Durations, fractions on any time field.
        {"PT1M30S", 90},
        {"P0DT12S", 12},
        {"PT1H61S", 3661},
        {"P1DT1H1M1.5S", 90061.5},
        {"PT1.5M", 90},
        {"P0Y0M1D", 86400},
        {"PT90S\r\n", 90},
        {"PT.5S", 0.5},
        // Years and months have no length in seconds; negative durations and
        // other texts leave the field.
        {"P1Y", UNCHANGED},
        {"P1M", UNCHANGED},
        {"-PT1S", UNCHANGED},
        {"", UNCHANGED},
        {"PT", UNCHANGED},
        {"12.5", UNCHANGED},
        {" PT12S", UNCHANGED},
        {"P1DT", UNCHANGED},
        {"PTS", UNCHANGED},
        {"PT0xS", UNCHANGED},
        {"PT-S", UNCHANGED},
        // No duration, yet "PT%lfS" read a number: it still does.
        {"PT12.5S", 12.5},
        {"PT-1S", -1},
        {"PT+2S", 2},
        {"PT 7S", 7},
        {"PT1e3S", 1000},
        {"PT1eS", 1},
        {"PT0x.8S", 0.5},
        {"PT12.5", 12.5},
        {"PT1M30X", 1},
        {"PT1H2M3S4", 1},
    };
    for (const auto& c : cases) {
        double seconds = UNCHANGED;
        EXPECT_EQ(read_xml_duration(c.text, seconds), c.seconds != UNCHANGED) << c.text;
        EXPECT_DOUBLE_EQ(seconds, c.seconds) << c.text;
    }
}

TEST(Duration, CommonFormIsExactlyTheNumber) {
    for (const std::string number : {"0.1", "1501.35", "12.345678901234567", "3e-7", "1e300"}) {
        double seconds = 0.0;
        ASSERT_TRUE(read_xml_duration("PT" + number + "S", seconds));
        EXPECT_EQ(seconds, std::stod(number)) << number;
    }
}

} // namespace
