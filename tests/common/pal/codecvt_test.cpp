#include <pal/exception.h>
#include <pal/string.h>

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <locale>
#include <optional>
#include <string>
#include <thread>

namespace {

constexpr const char* LATIN1 = "en_US.ISO-8859-1";
constexpr const char* UTF8 = "en_US.UTF-8";

#define REQUIRE_LOCALE(name)                                                                       \
    if (!fixture::has_locale(name))                                                                \
    GTEST_SKIP() << "locale " << name << " is not installed (scripts/setup.sh generates it)"

struct Failure {
    std::int32_t error;
    std::uint32_t offset;
    std::wstring description;
};

// Runs a conversion and reports its failure; also checks that the global
// locale is the one in force before the call, whatever happened.
template <class Call>
std::optional<Failure> failure_of(Call call) {
    const std::string global_before = std::locale().name();
    std::optional<Failure> failure;
    try {
        call();
    } catch (const PAL::StrCodeCvtError& e) {
        EXPECT_TRUE(e.has_offset);
        failure = Failure{e.error, e.offset, e.description()};
    }
    EXPECT_EQ(std::locale().name(), global_before);
    return failure;
}

TEST(CodeCvt, EmptyInputGivesEmptyOutput) {
    std::string narrow = "stale";
    PAL::to_narrow(L"", std::locale::classic(), narrow);
    EXPECT_EQ(narrow, "");
    std::wstring wide = L"stale";
    PAL::to_wide("", std::locale::classic(), wide);
    EXPECT_EQ(wide, L"");
}

TEST(CodeCvt, LongAsciiTextConvertsInSeveralPasses) {
    std::wstring wide;
    std::string narrow;
    for (int i = 0; i < 3000; ++i) {
        wide += static_cast<wchar_t>(L'a' + i % 26);
        narrow += static_cast<char>('a' + i % 26);
    }
    EXPECT_EQ(PAL::to_narrow(wide, std::locale::classic()), narrow);
    EXPECT_EQ(PAL::to_wide(narrow, std::locale::classic()), wide);
}

// File text is widened in the classic locale: every byte stays the character
// of its value there, as on Windows, instead of failing above 127.
TEST(CodeCvt, ClassicLocaleWidensEveryByte) {
    EXPECT_EQ(PAL::to_wide(std::string("\xB5m \xC3\xA9\xFF"), std::locale::classic()),
              std::wstring(L"\x00B5m \x00C3\x00A9\x00FF"));
    EXPECT_THROW(PAL::to_narrow(L"\x4E00", std::locale::classic()), PAL::StrCodeCvtError);
}

// Characters of 2, 3 and 4 bytes: passes end with room left that the next
// character does not fit, which must continue, not fail.
TEST(CodeCvt, LongMultiByteTextEqualsOneConversion) {
    REQUIRE_LOCALE(UTF8);
    const std::locale utf8(UTF8);
    struct Case {
        std::wstring unit;
        std::string bytes;
    };
    const Case cases[] = {
        {L"\u20AC", "\xE2\x82\xAC"},
        {L"a\u00E9\u4E00", "a\xC3\xA9\xE4\xB8\x80"},
        {L"\U0001F600b", "\xF0\x9F\x98\x80"
                         "b"},
    };
    for (const auto& c : cases) {
        std::wstring wide;
        std::string narrow;
        for (int i = 0; i < 3000; ++i) {
            wide += c.unit;
            narrow += c.bytes;
        }
        EXPECT_EQ(PAL::to_narrow(wide, utf8), narrow) << narrow.substr(0, 8);
        EXPECT_EQ(PAL::to_wide(narrow, utf8), wide) << narrow.substr(0, 8);
    }
}

TEST(CodeCvt, UnmappableCharacterNamesItsIndex) {
    REQUIRE_LOCALE(LATIN1);
    const std::locale latin1(LATIN1);
    EXPECT_EQ(PAL::to_narrow(L"caf\u00E9", latin1), "caf\xE9");

    auto failure = failure_of([&] { PAL::to_narrow(L"ab\u20ACc", latin1); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->error, PAL::CODECVT_NO_MAPPING);
    EXPECT_EQ(failure->offset, 2u);
    EXPECT_EQ(failure->description,
              L"Code conversion error: Character sequence invalid or has no mapping (offset 2)");

    // Past the first pass: the offset counts from the start of the input and
    // the output keeps what the earlier passes gave.
    std::wstring wide(2000, L'x');
    wide += L"\u4E00yz";
    std::string out;
    failure = failure_of([&] { PAL::to_narrow(wide, latin1, out); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->offset, 2000u);
    EXPECT_FALSE(out.empty());
    EXPECT_EQ(out, std::string(out.size(), 'x'));
}

TEST(CodeCvt, IncompleteOrInvalidBytesNameTheirOffset) {
    REQUIRE_LOCALE(UTF8);
    const std::locale utf8(UTF8);
    struct Case {
        std::string bytes;
        std::int32_t error;
        std::uint32_t offset;
    };
    const Case cases[] = {
        {"ab\xE2", PAL::CODECVT_INPUT_EXHAUSTED, 2},
        {"ab\xE2\x82", PAL::CODECVT_INPUT_EXHAUSTED, 2},
        {"\xE2", PAL::CODECVT_INPUT_EXHAUSTED, 0},
        {std::string(2000, 'x') + "\xC3\xA9\xF0\x9F\x98", PAL::CODECVT_INPUT_EXHAUSTED, 2002},
        {"a\xFF"
         "b",
         PAL::CODECVT_NO_MAPPING, 1},
        {"ab\xE2\x82x", PAL::CODECVT_NO_MAPPING, 2},
    };
    for (const auto& c : cases) {
        const auto failure = failure_of([&] { PAL::to_wide(c.bytes, utf8); });
        ASSERT_TRUE(failure) << c.bytes.size();
        EXPECT_EQ(failure->error, c.error) << c.bytes.size();
        EXPECT_EQ(failure->offset, c.offset) << c.bytes.size();
    }
}

// A German LC_NUMERIC reads "445.34" as 445; a conversion must never make it
// the process's locale, not even for a moment.
TEST(CodeCvt, GlobalLocaleIsNeverChanged) {
    REQUIRE_LOCALE("de_DE.UTF-8");
    const std::locale german("de_DE.UTF-8");
    const std::string global = std::locale().name();
    std::atomic<bool> done{false};
    std::thread converter([&] {
        for (int i = 0; i < 2000; ++i)
            PAL::to_wide(PAL::to_narrow(L"Gr\u00FC\u00DFe", german), german);
        done = true;
    });
    int changed = 0;
    while (!done)
        changed += std::locale().name() != global;
    converter.join();
    EXPECT_EQ(changed, 0);
}

TEST(CodeCvt, CaseInsensitiveComparison) {
    const std::locale classic = std::locale::classic();
    EXPECT_EQ(PAL::compare_nocase(L"ABC", L"abc", classic), 0);
    EXPECT_EQ(PAL::compare_nocase(std::string("AbC"), std::string("aBc"), classic), 0);
    EXPECT_LT(PAL::compare_nocase(L"abc", L"ABD", classic), 0);
    EXPECT_GT(PAL::compare_nocase(L"abcd", L"ABC", classic), 0);
    EXPECT_EQ(PAL::to_lower(L"MiXeD 12", classic), L"mixed 12");
    if (fixture::has_locale(LATIN1)) {
        EXPECT_EQ(PAL::compare_nocase(L"\u00C4RGER", L"\u00E4rger", std::locale(LATIN1)), 0);
    }
}

TEST(CodeCvtErrors, Texts) {
    EXPECT_EQ(PAL::codecvt_error_text(0), L"No error");
    EXPECT_EQ(PAL::codecvt_error_text(1), L"Input buffer exhausted");
    EXPECT_EQ(PAL::codecvt_error_text(2), L"Character sequence invalid or has no mapping");
    EXPECT_EQ(PAL::codecvt_error_text(3), L"Unknown error 3");
}

} // namespace
