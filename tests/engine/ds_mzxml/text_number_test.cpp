#include "text_number.h"

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <random>
#include <string>

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
    // Around the limits of the digits and powers of ten a double holds exactly.
    texts.insert(texts.end(), {"9007199254740992", "9007199254740993", "9007199254740993e-3",
                               "1e22", "1e23", "4.5e-22", "4.5e-23", "0.0000000000000000000000012",
                               "1.61356e+008", "00000000000000000000000042", "18446744073709551615",
                               "18446744073709551616", "9999999999999999999", "0e999", "-0.000"});
    // Digits read eight at a time: runs that end on a byte that is no digit
    // (octal 372 and 377 are above 0xF9: they carry when tested), at the
    // eighth byte and after it.
    texts.insert(texts.end(), {"1234567\37289", "12345678\3775", "87654321.12345678:",
                               "123456789012345678901234e-3", "0.000000001234567890123/9"});
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

// Decimals of every length and power of ten, as writers write them (and as
// they do not), convert as strtod and strtoll convert them.
TEST(TextNumberTest, RandomDecimalsConvertAsStrtod) {
#ifdef _WIN32
    GTEST_SKIP() << "no strtod_l to hold the classic locale on this platform";
#else
    const locale_t classic = newlocale(LC_ALL_MASK, "C", nullptr);
    std::mt19937_64 random(38);
    const auto digits = [&](std::size_t n) {
        std::string text;
        for (std::size_t i = 0; i < n; ++i)
            text += static_cast<char>('0' + random() % 10);
        return text;
    };
    for (int n = 0; n < 20000; ++n) {
        std::string text = random() % 4 == 0 ? "-" : "";
        text += digits(random() % 21);
        if (random() % 3 != 0) {
            text += '.';
            text += digits(random() % 21);
        }
        if (random() % 2 == 0) {
            text += random() % 2 == 0 ? "e" : "E";
            text += random() % 3 == 0 ? "-" : random() % 2 == 0 ? "+" : "";
            text += std::to_string(random() % 40);
        }
        const double expected = strtod_l(text.c_str(), nullptr, classic);
        const double got = text_to_double(text);
        EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0)
            << '"' << text << "\" gives " << got << ", strtod " << expected;
        EXPECT_EQ(text_to_int64(text), strtoll_l(text.c_str(), nullptr, 10, classic)) << text;
    }
    freelocale(classic);
#endif
}

} // namespace
