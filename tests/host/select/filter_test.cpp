#include <host/select/mass_tolerance.h>
#include <host/select/peak_filter.h>
#include <host/select/range_text.h>
#include <host/select/scan_filter.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace orvohost;

TEST(RangeText, ReadsWhatPeopleType) {
    EXPECT_EQ(parse_whole_ranges("10-20,25", 0, 100), (WholeRanges{{10, 20}, {25, 25}}));
    EXPECT_EQ(parse_whole_ranges(" 2 , 3 ", 1, 16), (WholeRanges{{2, 2}, {3, 3}}));
    EXPECT_EQ(parse_whole_ranges("4-4", 1, 16), (WholeRanges{{4, 4}}));
    const Interval both = parse_interval("12.5:60");
    EXPECT_EQ((std::pair{both.lo, both.hi}), (std::pair{12.5, 60.0}));
    EXPECT_TRUE(parse_interval("-1:").contains(1e300));
    EXPECT_FALSE(parse_interval("-1:").contains(-1.5));
    EXPECT_TRUE(parse_interval(":+3").contains(-1e300));
    EXPECT_FALSE(parse_interval(":+3").contains(3.0001));
    EXPECT_TRUE(parse_interval("5:5").contains(5));
    EXPECT_TRUE(parse_interval(":").whole());
}

TEST(RangeText, RefusesWithTheReason) {
    const struct {
        const char* text;
        bool interval;
        const char* says;
    } cases[] = {
        {"12-10", false, "start is above its end"},
        {"5:2", true, "start is above its end"},
        {"0", false, "outside the range 1 to 16"},
        {"17", false, "outside the range 1 to 16"},
        {"2,x", false, "'x' is not a whole number"},
        {"-3", false, "not a whole number"},
        {"1,,2", false, "not a whole number"},
        {"", false, "no number given"},
        {"99999999999999999999", false, "outside"},
        {"5", true, "not a range"},
        {"1:2:3", true, "not a range"},
        {"a:3", true, "'a' is not a number"},
        {"nan:3", true, "not a number"},
        {"1:inf", true, "not a number"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            if (c.interval)
                parse_interval(c.text);
            else
                parse_whole_ranges(c.text, 1, 16);
            ADD_FAILURE() << "accepted";
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
    }
}

TEST(RangeText, TimesInSecondsOrMinutes) {
    const auto ends = [](const char* text) {
        const Interval interval = parse_time_interval(text);
        return std::pair{interval.lo, interval.hi};
    };
    EXPECT_EQ(ends("105m:115m"), (std::pair{6300.0, 6900.0}));
    EXPECT_EQ(ends("90:2MIN"), (std::pair{90.0, 120.0}));
    EXPECT_EQ(ends(" 1.5m : 100s "), (std::pair{90.0, 100.0}));
    EXPECT_TRUE(parse_time_interval("2m:").contains(1e300));
    for (const char* bad : {"5h:6h", "m:2", "2m:1m"})
        EXPECT_THROW(parse_time_interval(bad), std::invalid_argument) << bad;
}

orvoeng::ScanRecord scan(std::uint32_t label, std::int16_t level, double rt,
                         std::int16_t charge = orvoeng::NO_CHARGE) {
    orvoeng::ScanRecord record;
    record.label = label;
    record.scan_type.set_ms_level(level);
    record.retention_time = rt;
    record.precursor_charge = charge;
    return record;
}

TEST(ScanFilter, EveryConditionMustHold) {
    ScanFilter filter;
    EXPECT_FALSE(filter.any());
    EXPECT_TRUE(filter.selects(scan(1, 1, 0)));
    filter.ms_levels = {{2, 2}};
    filter.rt = parse_interval("10:20");
    filter.labels = parse_whole_ranges("1-100", 0, 1000);
    EXPECT_TRUE(filter.any());
    EXPECT_TRUE(filter.selects(scan(5, 2, 10)));
    EXPECT_FALSE(filter.selects(scan(5, 1, 10)));   // level
    EXPECT_FALSE(filter.selects(scan(5, 2, 20.5))); // retention time
    EXPECT_FALSE(filter.selects(scan(101, 2, 15))); // label
    filter.charges = {{2, 3}};
    EXPECT_TRUE(filter.selects(scan(5, 2, 15, 3)));
    EXPECT_TRUE(filter.selects(scan(5, 2, 15, -2))); // a negative ion's charge
    EXPECT_FALSE(filter.selects(scan(5, 2, 15, 4)));
    EXPECT_FALSE(filter.selects(scan(5, 2, 15))); // no charge given
}

TEST(PeakFilter, WindowFloorThenTopInMzOrder) {
    const std::vector<orvoeng::Peak> peaks{{100, 5},  {200, 50}, {300, 20},
                                           {400, 50}, {500, 1},  {600, 90}};
    const auto mz_of = [](const std::vector<orvoeng::Peak>& kept) {
        std::vector<double> mz;
        for (const auto& peak : kept)
            mz.push_back(peak.mz);
        return mz;
    };
    PeakFilter filter;
    EXPECT_EQ(mz_of(filter.apply(peaks)), mz_of(peaks));
    filter.top = 3; // 600 and the two of 50; order kept
    EXPECT_EQ(mz_of(filter.apply(peaks)), (std::vector<double>{200, 400, 600}));
    filter.top = 2; // a tie at the cut keeps the lower m/z
    EXPECT_EQ(mz_of(filter.apply(peaks)), (std::vector<double>{200, 600}));
    filter.mz = parse_interval("150:450");
    EXPECT_EQ(mz_of(filter.apply(peaks)), (std::vector<double>{200, 400}));
    filter.min_intensity = 30;
    filter.top = 0;
    EXPECT_EQ(mz_of(filter.apply(peaks)), (std::vector<double>{200, 400}));
    filter.min_intensity = 60;
    EXPECT_TRUE(filter.apply(peaks).empty());
}

TEST(MassTolerance, UnitsWrittenOutInAnyCase) {
    const MassTolerance ppm = parse_mass_tolerance("10ppm");
    EXPECT_TRUE(ppm.matches(1000, 1000.0099));
    EXPECT_FALSE(ppm.matches(1000, 1000.0101));
    for (const char* text : {"0.01Da", "0.01 da", "10mmu", "10 MMU"}) {
        const MassTolerance da = parse_mass_tolerance(text);
        EXPECT_FALSE(da.unit_assumed) << text;
        EXPECT_TRUE(da.matches(100, 99.991)) << text;
        EXPECT_FALSE(da.matches(100, 100.011)) << text;
    }
    // A bare number is Da, marked as taken rather than written.
    const MassTolerance bare = parse_mass_tolerance("0.01");
    EXPECT_TRUE(bare.unit_assumed);
    EXPECT_EQ(bare.unit, MassTolerance::Unit::DA);
    EXPECT_TRUE(bare.matches(100, 99.991));
    for (const char* bad : {"0", "-5ppm", "ppm", "abc", "10 Th", "5ppmDa"})
        EXPECT_THROW(parse_mass_tolerance(bad), std::invalid_argument) << bad;
}

} // namespace
