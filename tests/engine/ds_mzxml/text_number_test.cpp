#include "text_number.h"

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale>
#include <string>

namespace {

TEST(TextNumberTest, Int32StopsWhereAtoiStops) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"12", 12},
        {"  \t\n\v\f\r42x", 42},
        {"+7", 7},
        {"-13", -13},
        {"", 0},
        {"abc", 0},
        {"-", 0},
        {"+-1", 0},
        {"1.9", 1},
        {"0x10", 0},
        {"007", 7},
        {" - 1", 0},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", 2147483647},
        {"-99999999999999999999", -2147483647 - 1},
        {"4294967295", 2147483647},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(text_to_int32(text), expected) << '"' << text << '"';
}

TEST(TextNumberTest, Int64StopsWhereAtoi64Stops) {
    const std::pair<const char*, std::int64_t> cases[] = {
        {"4294967296", 4294967296LL},
        {" 5368709120</offset>", 5368709120LL},
        {"-1", -1},
        {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        {"9223372036854775808", std::numeric_limits<std::int64_t>::max()},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        {"99999999999999999999999", std::numeric_limits<std::int64_t>::max()},
        {"x1", 0},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(text_to_int64(text), expected) << '"' << text << '"';
}

// The same bits as strtod in the C locale, over texts that reach every
// branch: words, hex floats, exponents, out-of-range values, stray endings.
TEST(TextNumberTest, DoubleMatchesStrtodInTheClassicLocale) {
    const char* texts[] = {
        "445.34",
        "  -1.5e3",
        "+2.25",
        ".5",
        "5.",
        ".",
        "-",
        "",
        "1e",
        "1e+",
        "2E-2x",
        "1.5.6",
        "inf",
        "-INF",
        "Infinity",
        "+infinityx",
        "nan",
        "-NaN",
        "nan(123)",
        "0x1p3",
        "0X1.8P1",
        "-0x.8",
        "0x",
        "0xg",
        "0x1p",
        "1e400",
        "-1e400",
        "1e-400",
        "0.0000000000000000000000000000000000000000000000000000000000000000000000000000000000"
        "0000000000000000000000000000000000000000000000000000000000000000000000000000000000"
        "0000000000000000000000000000000000000000000000000000000000000000000000000000000000"
        "0000000000000000000000000000000000000000000000000000000000000000000000000000000001",
        "4.9e-324",
        "2.5e-320",
        "1.7976931348623157e308",
        "1.8e308",
        "0x1p-1080",
        "0x1p1100",
        "1e99999999999999999999",
        "1e-99999999999999999999",
        "PT1.5S",
        "12abc",
        "   \t 3.14159265358979323846264338327950288",
        "-0",
        "1,5",
    };
    for (const char* text : texts) {
        const double expected = std::strtod(text, nullptr);
        const double got = text_to_double(text);
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(got)) << text;
            EXPECT_EQ(std::signbit(got), std::signbit(expected)) << text;
        } else {
            EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0)
                << '"' << text << "\" gives " << got << ", strtod " << expected;
        }
    }
}

// A host that set a German number format still reads the file's numbers.
TEST(TextNumberTest, IgnoresTheProcessLocale) {
    const char* german = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"})
        if (fixture::has_locale(name)) {
            german = name;
            break;
        }
    if (!german)
        GTEST_SKIP() << "no German locale on this machine";

    const std::string saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_NUMERIC, german), nullptr);
    const std::locale saved_global = std::locale::global(std::locale(german));
    ASSERT_EQ(std::strtod("445.34", nullptr), 445.0) << "the locale did not take effect";

    EXPECT_EQ(text_to_double("445.34"), 445.34);
    EXPECT_EQ(text_to_double("1,5"), 1.0);
    EXPECT_EQ(text_to_double("-2.5e2"), -250.0);
    EXPECT_EQ(text_to_int32("1.000"), 1);

    std::locale::global(saved_global);
    std::setlocale(LC_ALL, saved.c_str());
}

} // namespace
