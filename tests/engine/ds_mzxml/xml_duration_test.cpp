#include "xml_duration.h"

#include <gtest/gtest.h>

using orvoeng::read_xml_duration;

// Days, hours, minutes, seconds, fractions on any field; "PT%lfS" readings stay. Years and
// months have no length in seconds; negative durations and other texts leave the field.
TEST(Duration, ReadsSecondsOrLeavesTheField) {
    const std::pair<const char*, double> cases[] = {{"PT1M30S", 90},
                                                    {"P0DT12S", 12},
                                                    {"P1DT1H1M1.5S", 90061.5},
                                                    {"PT12.345678901234567S", 12.345678901234567},
                                                    {"PT-1S", -1},
                                                    {"PT1M30X", 1},
                                                    {"PT.5S", 0.5},
                                                    {"PT5.S", 5},
                                                    {"PT0.52S \r\n", 0.52},
                                                    {"PT1e3S", 1000},
                                                    {"PT0.5.5S", 0.5}};
    for (const auto& [text, want] : cases) {
        double seconds = -5;
        EXPECT_TRUE(read_xml_duration(text, seconds)) << text;
        EXPECT_EQ(seconds, want) << text;
    }
    for (const char* text : {"P1Y", "P1M", "-PT1S", "", "PT", "12.5", " PT12S", "P1DT", "PT-S"}) {
        double seconds = -5;
        EXPECT_FALSE(read_xml_duration(text, seconds)) << text;
        EXPECT_EQ(seconds, -5) << text;
    }
}
