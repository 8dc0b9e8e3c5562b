#include <pal/exception.h>
#include <pal/time.h>

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <ctime>
#include <locale>
#include <string>

namespace {

constexpr int UNTOUCHED = -7;

struct Fields {
    int year = UNTOUCHED, mon = UNTOUCHED, mday = UNTOUCHED;
    int hour = UNTOUCHED, min = UNTOUCHED, sec = UNTOUCHED, yday = UNTOUCHED;
    bool operator==(const Fields&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Fields& f) {
    return out << f.year << "-" << f.mon << "-" << f.mday << " " << f.hour << ":" << f.min << ":"
               << f.sec << " yday " << f.yday;
}

// Parses with every field preset to UNTOUCHED, so fields a format does not
// name must come back untouched.
Fields parse(const std::string& format, const std::string& text, std::size_t start,
             std::size_t& end, const std::locale& locale = std::locale::classic()) {
    std::tm st_tm{};
    st_tm.tm_year = st_tm.tm_mon = st_tm.tm_mday = UNTOUCHED;
    st_tm.tm_hour = st_tm.tm_min = st_tm.tm_sec = st_tm.tm_yday = UNTOUCHED;
    end = PAL::parse_with_format(text, format, st_tm, locale, start);
    return {st_tm.tm_year, st_tm.tm_mon, st_tm.tm_mday, st_tm.tm_hour,
            st_tm.tm_min,  st_tm.tm_sec, st_tm.tm_yday};
}

constexpr int U = UNTOUCHED;

TEST(ParseWithFormat, ReadsFields) {
    struct Case {
        std::string format, text;
        std::size_t start;
        Fields fields;
        std::size_t end;
    };
    const Case cases[] = {
        {"%Y-%m-%d", "2009-12-24", 0, {109, 11, 24}, 10},
        {"%Y%m%d", "20091224", 0, {109, 11, 24}, 8},
        {"%Y", "2009x", 0, {109}, 4},
        {"%H:%M", "24:00", 0, {U, U, U, 24, 0}, 5},
        {"%H", "24", 0, {U, U, U, 24}, 2},
        {"%d %m", "24   12", 0, {U, 11, 24}, 7},
        {"%d %m", "2412", 0, {U, 11, 24}, 4},
        {"%y", "68", 0, {168}, 2},
        {"%y", "69", 0, {69}, 2},
        {"%y", "00", 0, {100}, 2},
        {"%I %p", "07 PM", 0, {U, U, U, 19}, 5},
        {"%I %p", "12 AM", 0, {U, U, U, 0}, 5},
        {"%I %p", "12 PM", 0, {U, U, U, 12}, 5},
        {"%I%p", "07am", 0, {U, U, U, 7}, 4},
        {"%I", "12", 0, {U, U, U, 0}, 2},
        {"%T", "xx 10:20:30", 3, {U, U, U, 10, 20, 30}, 11},
        {"%R", "10:20", 0, {U, U, U, 10, 20}, 5},
        {"%D", "12/24/09", 0, {109, 11, 24}, 8},
        {"%j", "359", 0, {U, U, U, U, U, U, 358}, 3},
        {"%S", "61", 0, {U, U, U, U, U, 61}, 2},
        {"%%%Y", "%2009", 0, {109}, 5},
        {"%n%Y%t", "  2009", 0, {109}, 6},
        {"%b %d", "Dec 24", 0, {U, 11, 24}, 6},
        {"%c", "Thu Dec 24 10:31:07 2009", 0, {109, 11, 24, 10, 31, 7}, 24},
    };
    for (const auto& c : cases) {
        std::size_t end = 0;
        EXPECT_EQ(parse(c.format, c.text, c.start, end), c.fields) << c.format << " " << c.text;
        EXPECT_EQ(end, c.end) << c.format << " " << c.text;
    }
}

TEST(ParseWithFormat, FailuresNameTheCodeAndTheOffset) {
    struct Case {
        std::string format, text;
        std::size_t start;
        std::int32_t error;
        std::uint32_t offset;
    };
    const Case cases[] = {
        {"%H:%M", "10", 0, PAL::DATETIME_INPUT_EXHAUSTED, 2},
        {"%q", "", 0, PAL::DATETIME_INPUT_EXHAUSTED, 0},
        {"%T", "xx 10:20", 3, PAL::DATETIME_INPUT_EXHAUSTED, 8},
        {"%Y", "x009", 0, PAL::DATETIME_FORMAT_MISMATCH, 0},
        {"%Y", " 2009", 0, PAL::DATETIME_FORMAT_MISMATCH, 0},
        {"%Y", "+2009", 0, PAL::DATETIME_FORMAT_MISMATCH, 0},
        {"%Y-%m", "2009/12", 0, PAL::DATETIME_FORMAT_MISMATCH, 4},
        {"%%", "x", 0, PAL::DATETIME_FORMAT_MISMATCH, 0},
        {"%I %p", "07 XM", 0, PAL::DATETIME_FORMAT_MISMATCH, 3},
        {"%b", "Dex", 0, PAL::DATETIME_FORMAT_MISMATCH, 0},
        {"%q", "1", 0, PAL::DATETIME_INVALID_SPECIFIER, 0},
        {"%Y%", "2009", 0, PAL::DATETIME_INVALID_SPECIFIER, 4},
        {"%Y", "209-", 0, PAL::DATETIME_OUT_OF_RANGE, 0},
        {"%H:%M", "24:01", 0, PAL::DATETIME_OUT_OF_RANGE, 5},
        {"%d", "32", 0, PAL::DATETIME_OUT_OF_RANGE, 0},
        {"%Y-%m", "2009-13", 0, PAL::DATETIME_OUT_OF_RANGE, 5},
        {"%I", "00", 0, PAL::DATETIME_OUT_OF_RANGE, 0},
    };
    for (const auto& c : cases) {
        std::size_t end = 0;
        try {
            parse(c.format, c.text, c.start, end);
            ADD_FAILURE() << c.format << " " << c.text << " raised nothing";
        } catch (const PAL::DateTimeCvtError& e) {
            EXPECT_EQ(e.error, c.error) << c.format << " " << c.text;
            EXPECT_EQ(e.offset, c.offset) << c.format << " " << c.text;
            EXPECT_TRUE(e.has_offset);
        }
    }
}

TEST(ParseWithFormat, LocaleWithoutAmPm) {
    const char* german = "de_DE.UTF-8";
    if (!fixture::has_locale(german))
        GTEST_SKIP() << "locale " << german << " is not installed (scripts/setup.sh generates it)";
    std::size_t end = 0;
    try {
        parse("%I %p", "07 PM", 0, end, std::locale(german));
        FAIL() << "a locale without AM/PM designators accepted %p";
    } catch (const PAL::DateTimeCvtError& e) {
        EXPECT_EQ(e.error, PAL::DATETIME_NO_AM_PM);
        EXPECT_EQ(e.offset, 3u);
    }
}

TEST(ParseWithFormat, PmOnAnHourAlreadyPastNoonIsABrokenContract) {
    std::size_t end = 0;
    try {
        parse("%I %p %H", "07 PM 13", 0, end);
        FAIL() << "no assertion";
    } catch (const PAL::AssertFailure& e) {
        EXPECT_EQ(e.text, L"st_tm.tm_hour >= 12");
    }
}

} // namespace
