#include <pal/exception.h>
#include <pal/time.h>

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <ctime>
#include <filesystem>
#include <locale>
#include <memory>
#include <optional>
#include <string>

namespace {

using PAL::assume_utc;
using PAL::require_zone;

// TZ for the life of the object; the runtime rereads it both ways.
class ScopedZone {
public:
    explicit ScopedZone(const char* zone) : env(std::make_unique<fixture::ScopedEnv>("TZ", zone)) {
        tzset();
    }
    ~ScopedZone() {
        env.reset();
        tzset();
    }

private:
    std::unique_ptr<fixture::ScopedEnv> env;
};

const char* const ZONES[] = {"UTC", "America/New_York", "Asia/Kolkata", "Europe/Moscow",
                             "Australia/Lord_Howe"};

bool zone_installed(const char* zone) {
    return std::filesystem::exists(std::filesystem::path("/usr/share/zoneinfo") / zone);
}

struct Outcome {
    std::optional<std::int64_t> seconds;
    std::int32_t error = 0;
    std::optional<std::uint32_t> offset;
    std::wstring assertion;
};

Outcome convert(const std::string& text, unsigned int flags) {
    Outcome outcome;
    try {
        outcome.seconds = PAL::datetime_from_iso8601(text, flags, std::locale::classic());
    } catch (const PAL::DateTimeCvtError& e) {
        outcome.error = e.error;
        if (e.has_offset)
            outcome.offset = e.offset;
    } catch (const PAL::AssertFailure& e) {
        outcome.assertion = e.text;
    }
    return outcome;
}

constexpr std::int64_t XMAS_EVE = 1261650667; // 2009-12-24T10:31:07Z
constexpr std::int64_t XMAS = 1261699200;     // 2009-12-25T00:00:00Z

struct Success {
    const char* text;
    unsigned int flags;
    std::int64_t seconds;
};

const Success SUCCESSES[] = {
    {"2009-12-24T10:31:07Z", assume_utc, XMAS_EVE},
    {"2009-12-24T10:31:07", assume_utc, XMAS_EVE},
    {"20091224T103107Z", assume_utc, XMAS_EVE},
    {"2009-12-24T11:31:07+01:00", assume_utc, XMAS_EVE},
    {"2009-12-24T11:31:07+0100", assume_utc, XMAS_EVE},
    {"2009-12-24T09:31:07-01", assume_utc, XMAS_EVE},
    {"2009-12-25T00:01:07+13:30", assume_utc, XMAS_EVE},
    {"2009-12-24T10:31:07.75Z", assume_utc, XMAS_EVE},
    {"2009-12-24T10:31,5Z", assume_utc, XMAS_EVE - 7 + 30},
    {"2009-12-24T10,5Z", assume_utc, XMAS_EVE - 67},
    {"2009-12-24T10Z", assume_utc, XMAS_EVE - 31 * 60 - 7},
    {"2009-12-24T1031Z", assume_utc, XMAS_EVE - 7},
    {"2009-12-24T10:31:60Z", assume_utc, XMAS_EVE - 7 + 60},
    {"2009-12-24T24:00:00Z", assume_utc, XMAS},
    {"  2009-12-24T10:31:07Z  ", assume_utc, XMAS_EVE},
    {"2009-02-30T00:00:00Z", assume_utc, 1235952000}, // 2009-03-02
    {"2009-359T00:00:00Z", assume_utc, XMAS},
    {"2009359T000000Z", assume_utc, XMAS},
    {"2008-02-29T12:00:00Z", assume_utc, 1204286400},
    {"2009-12-24T10:31:07+14:00", assume_utc, XMAS_EVE - 14 * 3600},
    {"2009-12-24T10:31:07Z", require_zone, XMAS_EVE},
    // Moscow's standard offset was +4 in 2012 and is +3 now.
    {"2012-06-01T00:00:00Z", assume_utc, 1338508800},
    {"1970-01-01T00:00:00Z", assume_utc, 0},
    {"1970-01-01T00:30:00+00:30", assume_utc, 0},
    {"9999-12-31T23:59:59Z", assume_utc, 253402300799},
};

struct Failure {
    const char* text;
    unsigned int flags;
    std::int32_t error;
    std::optional<std::uint32_t> offset;
};

const Failure FAILURES[] = {
    {"2009-12-24T10:31:07", PAL::allow_trailing, PAL::DATETIME_INVALID_FLAGS, std::nullopt},
    {"2009-12-24T10:31:07", require_zone | assume_utc, PAL::DATETIME_INVALID_FLAGS, std::nullopt},
    {"2009-12-24T10:31:07", 16, PAL::DATETIME_INVALID_FLAGS, std::nullopt},
    {"2009-12-24 10:31:07", assume_utc, PAL::DATETIME_FORMAT_MISMATCH, 10},
    {"2009-12-24t10:31:07", assume_utc, PAL::DATETIME_FORMAT_MISMATCH, 10},
    {"2009-12-24T10:31:07.Z", assume_utc, PAL::DATETIME_FORMAT_MISMATCH, 20},
    {"2009-1-24T10:31:07Z", assume_utc, PAL::DATETIME_FORMAT_MISMATCH, 0},
    {"2009-12-24T", assume_utc, PAL::DATETIME_FORMAT_MISMATCH, 11},
    {"2009-12-24T24:30:00Z", assume_utc, PAL::DATETIME_OUT_OF_RANGE, 19},
    {"2009-12-24T10:31:07+15:00", assume_utc, PAL::DATETIME_OUT_OF_RANGE, 25},
    {"2009-12-24T10:31:07+14:30", assume_utc, PAL::DATETIME_OUT_OF_RANGE, 25},
    {"2009-12-32T10:31:07Z", assume_utc, PAL::DATETIME_OUT_OF_RANGE, 8},
    {"2009-12-24T10:31:07Zx", assume_utc, PAL::DATETIME_TRAILING_INPUT, 20},
    {"2009-12-24T10:31:07z", assume_utc, PAL::DATETIME_TRAILING_INPUT, 19},
    {"2009-12-24T10:31:07", require_zone, PAL::DATETIME_NO_ZONE, 19},
    {"1969-12-31T23:59:59Z", assume_utc, PAL::DATETIME_INVALID_TIME, 20},
    {"1970-01-01T00:30:00+01:00", assume_utc, PAL::DATETIME_INVALID_TIME, 25},
};

const std::pair<const char*, const wchar_t*> ASSERTIONS[] = {
    {"2009-W52-4T00:00:00Z", L"Not implemented"},
    {"2009-T10:31:07Z", L"basic_style is false"},
    {"2009-12-24T10:Z", L"basic_style is false"},
};

// A text that names its zone, or is taken as UTC, means the same instant
// whatever zone the process runs in.
TEST(Iso8601, SameResultsInEveryProcessZone) {
    std::string missing;
    for (const char* zone : ZONES) {
        if (!zone_installed(zone))
            missing += std::string(" ") + zone;
        ScopedZone scoped(zone);
        for (const auto& c : SUCCESSES) {
            const Outcome got = convert(c.text, c.flags);
            EXPECT_EQ(got.seconds, c.seconds) << c.text << " in " << zone;
        }
        for (const auto& c : FAILURES) {
            const Outcome got = convert(c.text, c.flags);
            EXPECT_FALSE(got.seconds) << c.text << " in " << zone;
            EXPECT_EQ(got.error, c.error) << c.text << " in " << zone;
            EXPECT_EQ(got.offset, c.offset) << c.text << " in " << zone;
        }
        for (const auto& [text, assertion] : ASSERTIONS)
            EXPECT_EQ(convert(text, assume_utc).assertion, assertion) << text << " in " << zone;
    }
    // Without their rules those zones ran as UTC, which proves less.
    if (!missing.empty())
        GTEST_SKIP() << "time zones not installed (package tzdata):" << missing;
}

// Without a zone and without assume_utc the text is the process's local time,
// daylight saving and historic offsets included.
TEST(Iso8601, LocalTimeFollowsTheProcessZone) {
    const Success cases[] = {
        {"UTC", 0, XMAS_EVE},
        {"America/New_York", 0, XMAS_EVE + 5 * 3600},
        {"Asia/Kolkata", 0, XMAS_EVE - 5 * 3600 - 1800},
        {"Australia/Lord_Howe", 0, XMAS_EVE - 11 * 3600}, // summer: +11:00
    };
    for (const auto& c : cases) {
        if (!zone_installed(c.text))
            GTEST_SKIP() << "time zone " << c.text << " is not installed (package tzdata)";
        ScopedZone zone(c.text);
        EXPECT_EQ(convert("2009-12-24T10:31:07", 0).seconds, c.seconds) << c.text;
    }
    if (!zone_installed("Europe/Moscow"))
        GTEST_SKIP() << "time zone Europe/Moscow is not installed (package tzdata)";
    ScopedZone moscow("Europe/Moscow");
    EXPECT_EQ(convert("2012-06-01T04:00:00", 0).seconds, 1338508800);
    EXPECT_EQ(convert("1970-01-01T02:00:00", 0).error, PAL::DATETIME_INVALID_TIME);
}

TEST(Iso8601, LayersAloneCheckTheirOwnFlagsAndTrailingText) {
    const std::locale classic = std::locale::classic();
    std::tm st_tm;
    PAL::clear_tm(st_tm);
    EXPECT_EQ(
        PAL::parse_iso8601_date("2009-12-24 rest", st_tm, PAL::allow_trailing, classic, 0, false),
        11u);
    EXPECT_EQ(st_tm.tm_mday, 24);
    EXPECT_THROW(PAL::parse_iso8601_date("2009-12-24 rest", st_tm, 0, classic, 0, false),
                 PAL::DateTimeCvtError);
    EXPECT_THROW(PAL::parse_iso8601_date("2009", st_tm, assume_utc, classic, 0, false),
                 PAL::DateTimeCvtError);

    double fraction = 0.0;
    std::int32_t zone = PAL::NO_ZONE;
    EXPECT_EQ(PAL::parse_iso8601_time(" 103107.25-0530", st_tm, fraction, zone, require_zone,
                                      classic, 0, false),
              15u);
    EXPECT_EQ(zone, -(5 * 3600 + 1800));
    EXPECT_DOUBLE_EQ(fraction, 0.25);
    EXPECT_EQ(st_tm.tm_sec, 7);

    zone = PAL::NO_ZONE;
    PAL::parse_iso8601_time("10:31", st_tm, fraction, zone, 0, classic, 0, false);
    EXPECT_EQ(zone, PAL::NO_ZONE);
}

TEST(Iso8601, AddSecondsStaysWithinZeroAndTheLargestTime) {
    struct Case {
        std::int64_t t;
        std::int32_t d;
        std::int64_t sum;
    };
    const Case cases[] = {
        {5, 3, 8},
        {-1, 5, -1},
        {10, -10, 0},
        {10, -11, -1},
        {LLONG_MAX - 1, 1, LLONG_MAX},
        {LLONG_MAX - 1, 2, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PAL::add_seconds(c.t, c.d), c.sum) << c.t << " + " << c.d;
}

TEST(Iso8601, ErrorTextsAndDescription) {
    const wchar_t* texts[] = {L"No error",
                              L"Invalid flags passed",
                              L"Input buffer exhausted",
                              L"Input does not match expected format",
                              L"Invalid conversion specifier",
                              L"Value is out of range",
                              L"AM/PM are not supported in the specified locale",
                              L"Unused trailing input data",
                              L"No time zone information",
                              L"Invalid calendar time value"};
    for (std::int32_t code = 0; code < 10; ++code)
        EXPECT_EQ(PAL::datetime_error_text(code), texts[code]);
    EXPECT_EQ(PAL::datetime_error_text(10), L"Unknown error 10");
    EXPECT_EQ(PAL::DateTimeCvtError(3, 10, 1, "test").description(),
              L"Date/time conversion error: Input does not match expected format (offset 10)");
    EXPECT_EQ(PAL::DateTimeCvtError(1, 1, "test").description(),
              L"Date/time conversion error: Invalid flags passed");
}

} // namespace
