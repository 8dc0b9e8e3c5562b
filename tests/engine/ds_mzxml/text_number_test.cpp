#include "text_number.h"

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale>

namespace {

using namespace orvoeng;

// Numbers convert as atoi, _atoi64 and atof (strtoll, strtod) in the classic
// locale, integers saturating, while the process (C and C++) runs under a German
// locale. The texts reach every branch: signs, words, hex, exponents, overflows.
TEST(TextNumberTest, ConvertsAsTheClassicLocaleUnderAGermanOne) {
    const std::string german = fixture::has_locale("de_DE.UTF-8") ? "de_DE.UTF-8" : "";
    const std::locale saved =
        std::locale::global(german.empty() ? std::locale::classic() : std::locale(german));
    EXPECT_EQ(std::strtod("445.34", nullptr), german.empty() ? 445.34 : 445.0);
#ifdef _WIN32
    // mingw's C++ library has no German locale, so the C library's locale is
    // the classic one here and its plain functions are the reference.
    const auto strtoll_l = [](const char* text, char** end, int base, int) {
        return std::strtoll(text, end, base);
    };
    // mingw's strtod gives -0 for a sign with no number after it, where C
    // says a text without a conversion gives 0.
    const auto strtod_l = [](const char* text, char**, int) {
        char* end = nullptr;
        const double value = std::strtod(text, &end);
        return end == text ? 0.0 : value;
    };
    const int classic = 0;
#else
    const locale_t classic = newlocale(LC_ALL_MASK, "C", nullptr);
#endif
    std::vector<const char*> texts = {"445.34",     "  -1.5e3",
                                      "+2.25",      ".5",
                                      "5.",         ".",
                                      "-",          "",
                                      "1e+",        "2E-2x",
                                      "1.5.6",      "-INF",
                                      "+infinityx", "-NaN",
                                      "nan(123)",   "0X1.8P1",
                                      "-0x.8",      "0xg",
                                      "0x1p",       "1e400",
                                      "-1e400",     "1e-400",
                                      "4.9e-324",   "2.5e-320",
                                      "1.8e308",    "0x1p-1080",
                                      "PT1.5S",     "-0",
                                      "1,5",        " \t\n\v\f\r42x",
                                      "-+1",        "+-1",
                                      " - 1",       "1.000",
                                      "007",        "2147483647",
                                      "2147483648", "-2147483648",
                                      "-2147483649"};
    texts.insert(texts.end(), {" 5368709120</offset>", "9223372036854775808",
                               "-99999999999999999999", "1e99999999999999999999",
                               "1e-99999999999999999999", "3.14159265358979323846264338327950288"});
    for (const char* text : texts) {
        const long long integer = strtoll_l(text, nullptr, 10, classic);
        const double expected = strtod_l(text, nullptr, classic), got = text_to_double(text);
        EXPECT_EQ(text_to_int64(text), integer) << '"' << text << '"';
        EXPECT_EQ(text_to_int32(text), std::clamp<long long>(integer, INT32_MIN, INT32_MAX))
            << text;
        EXPECT_TRUE(std::isnan(expected)
                        ? std::isnan(got) && std::signbit(got) == std::signbit(expected)
                        : std::memcmp(&got, &expected, sizeof got) == 0)
            << '"' << text << "\" gives " << got << ", strtod " << expected;
    }
#ifndef _WIN32
    freelocale(classic);
#endif
    std::locale::global(saved);
    if (german.empty())
        GTEST_SKIP() << "no German locale on this machine: checked in the classic locale only";
}

} // namespace
