#include <pal/exception.h>
#include <pal/time.h>

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <array>
#include <locale>
#include <tuple>

namespace {

using namespace PAL;
constexpr int U = -7;              // a field the format does not name keeps this value
using Fields = std::array<int, 6>; // year, mon, mday, hour, min, sec

// Format, text, start, then the fields and end read, or a failure's code (2 to 6) and offset.
TEST(ParseWithFormat, ReadsFieldsOrNamesTheCodeAndTheOffset) {
    using Case = std::tuple<const char*, const char*, std::size_t, Fields, std::size_t, int,
                            unsigned, const char*>;
    const Case cases[] = {
        {"%Y-%m-%d", "2009-12-24x", 0, {109, 11, 24, U, U, U}, 10, 0, 0, "C"},
        {"%d %m%H:%M", "24   1224:00", 0, {U, 11, 24, 24, 0, U}, 12, 0, 0, "C"},
        {"%y", "68", 0, {168, U, U, U, U, U}, 2, 0, 0, "C"},
        {"%y", "69", 0, {69, U, U, U, U, U}, 2, 0, 0, "C"},
        {"%I %p", "07 PM", 0, {U, U, U, 19, U, U}, 5, 0, 0, "C"},
        {"%I %p", "12 AM", 0, {U, U, U, 0, U, U}, 5, 0, 0, "C"},
        {"%I%p", "12pm", 0, {U, U, U, 12, U, U}, 4, 0, 0, "C"},
        {"%T", "xx 10:20:30", 3, {U, U, U, 10, 20, 30}, 11, 0, 0, "C"},
        {"%%%n%c", "% Thu Dec 24 10:31:07 2009", 0, {109, 11, 24, 10, 31, 7}, 26, 0, 0, "C"},
        {"%T", "xx 10:20", 3, {}, 0, DATETIME_INPUT_EXHAUSTED, 8, "C"},
        {"%I %p", "07 XM", 0, {}, 0, DATETIME_FORMAT_MISMATCH, 3, "C"},
        {"%Y%q", "20091", 0, {}, 0, DATETIME_INVALID_SPECIFIER, 4, "C"},
        {"%Y%", "2009", 0, {}, 0, DATETIME_INVALID_SPECIFIER, 4, "C"},
        {"%m %Y", "12 209-", 0, {}, 0, DATETIME_OUT_OF_RANGE, 3, "C"},
        {"%d", " 24", 0, {}, 0, DATETIME_FORMAT_MISMATCH, 0, "C"},
        {"%H:%M", "24:01", 0, {}, 0, DATETIME_OUT_OF_RANGE, 5, "C"},
        {"%I %p", "07 PM", 0, {}, 0, DATETIME_NO_AM_PM, 3, "de_DE.UTF-8"},
    };
    for (const auto& [format, text, start, fields, end, code, at, locale] : cases) {
        if (!fixture::has_locale(locale))
            continue; // scripts/setup.sh generates it
        std::tm t{};
        t.tm_year = t.tm_mon = t.tm_mday = t.tm_hour = t.tm_min = t.tm_sec = U;
        try {
            const auto got_end = parse_with_format(text, format, t, std::locale(locale), start);
            const Fields got{t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
            EXPECT_EQ(std::make_tuple(got, got_end, 0), std::make_tuple(fields, end, code)) << text;
        } catch (const DateTimeCvtError& e) {
            EXPECT_EQ(std::make_pair(e.error, e.offset), std::make_pair(code, at)) << text;
        }
    }
}

} // namespace
