#include <pal/exception.h>
#include <pal/time.h>

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <ctime>
#include <filesystem>
#include <locale>
#include <tuple>

namespace {

using namespace PAL;

const auto s = [](std::int64_t n) { return std::to_string(n); };
const auto fail = [](std::int32_t code, std::uint32_t at) { return s(code) + " at " + s(at); };

// The seconds, "code at offset" for a DateTimeCvtError, or an assertion's text.
std::string convert(const char* text, unsigned int flags) {
    try {
        return s(datetime_from_iso8601(text, flags, std::locale::classic()));
    } catch (const DateTimeCvtError& e) {
        return e.has_offset ? fail(e.error, e.offset) : s(e.error);
    } catch (const AssertFailure& e) {
        return std::string(e.text.begin(), e.text.end());
    }
}

constexpr std::int64_t EVE = 1261650667;  // 2009-12-24T10:31:07Z
constexpr std::int64_t JUNE = 1338508800; // 2012-06-01T00:00:00Z

// Zoned or assume_utc texts give the same instant in every process zone (Moscow was +4 in 2012,
// is +3 now); others are local time, with New York's daylight saving and Lord Howe's winter.
TEST(Iso8601, SameResultsInEveryProcessZone) {
    const std::tuple<const char*, unsigned int, std::string> cases[] = {
        {"2009-12-24T10:31:07", assume_utc, s(EVE)},
        {" 20091224T103107Z ", require_zone, s(EVE)},
        {"2009-12-24T11:31:07+01:00", assume_utc, s(EVE)},
        {"2009-12-25T00:01:07.75+1330", assume_utc, s(EVE)},
        {"2009-12-24T09:31,5-01", assume_utc, s(EVE - 7 + 30)},
        {"2009-12-24T10:31:60Z", assume_utc, s(EVE - 7 + 60)},
        {"2012-05-31T24:00:00Z", assume_utc, s(JUNE)},
        {"2012153T0000Z", assume_utc, s(JUNE)},
        {"9999-12-31T23:59:59Z", assume_utc, s(253402300799)},
        {"2009-12-24T10:31:07", allow_trailing, s(DATETIME_INVALID_FLAGS)},
        {"2009-12-24T10:31:07.Z", assume_utc, fail(DATETIME_FORMAT_MISMATCH, 20)},
        {"2009-12-24T10:31:07+14:30", assume_utc, fail(DATETIME_OUT_OF_RANGE, 25)},
        {"2009-12-25T00:31:07+14:00", assume_utc, s(EVE)},
        {"2009-12-24 10:31:07", assume_utc, fail(DATETIME_FORMAT_MISMATCH, 10)},
        {"2009-12-24T10:31:07Z", require_zone | assume_utc, s(DATETIME_INVALID_FLAGS)},
        {"2009-12-24T10:31:07Zx", assume_utc, fail(DATETIME_TRAILING_INPUT, 20)},
        {"2009-12-24T10:31:07", require_zone, fail(DATETIME_NO_ZONE, 19)},
        {"1969-12-31T23:59:59Z", assume_utc, fail(DATETIME_INVALID_TIME, 20)},
        {"1970-01-01T00:30:00+01:00", assume_utc, fail(DATETIME_INVALID_TIME, 25)},
        {"2009-W52-4T00:00:00Z", assume_utc, "Not implemented"},
        {"2009-12-24T10:Z", assume_utc, fail(DATETIME_FORMAT_MISMATCH, 11)},
        {"2012-", assume_utc, fail(DATETIME_FORMAT_MISMATCH, 0)},
    };
#ifdef _WIN32
    // The Windows C runtime reads TZ as a name, an offset and a daylight
    // name (US rules), each name of three letters: the same offsets, in its
    // own syntax.
    const char* zones[] = {"UTC0", "EST5EDT", "IST-5:30", "MSK-4", "LHS-10:30"};
#else
    const char* zones[] = {"UTC", "America/New_York", "Asia/Kolkata", "Europe/Moscow",
                           "Australia/Lord_Howe"};
#endif
    const std::int64_t local[] = {4 * 3600, 8 * 3600, -5400, 0, -23400}; // 04:00 there
    for (std::size_t z = 0; z < 5; ++z) {
#ifndef _WIN32
        if (!std::filesystem::exists(std::filesystem::path("/usr/share/zoneinfo") / zones[z]))
            GTEST_SKIP() << "time zone " << zones[z] << " is not installed (package tzdata)";
#endif
        fixture::ScopedEnv tz("TZ", zones[z]);
        tzset();
        for (const auto& [text, flags, want] : cases)
            EXPECT_EQ(convert(text, flags), want) << text << " in " << zones[z];
        EXPECT_EQ(convert("2012-06-01T04:00:00", 0), s(JUNE + local[z])) << zones[z];
    }
    tzset();
}

TEST(Iso8601, AddSecondsAndErrorTexts) {
    EXPECT_EQ(add_seconds(10, -11), -1);
    EXPECT_EQ(add_seconds(LLONG_MAX - 1, 1), LLONG_MAX);
    EXPECT_EQ(add_seconds(LLONG_MAX - 1, 2), -1);
    std::wstring texts;
    for (std::int32_t code = 0; code < 11; ++code)
        texts += datetime_error_text(code) + L"|";
    EXPECT_EQ(texts, L"No error|Invalid flags passed|Input buffer exhausted|Input does not match "
                     L"expected format|Invalid conversion specifier|Value is out of range|AM/PM "
                     L"are not supported in the specified locale|Unused trailing input data|No "
                     L"time zone information|Invalid calendar time value|Unknown error 10|");
    EXPECT_EQ(DateTimeCvtError(3, 10, 1, "test").description(),
              L"Date/time conversion error: Input does not match expected format (offset 10)");
}

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
