#include <pal/exception.h>
#include <pal/msgcatalog.h>
#include <pal/string.h>

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <locale>
#include <thread>
#include <tuple>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using namespace PAL;
using Failure = std::pair<std::int32_t, std::uint32_t>;

#ifdef _WIN32
constexpr const char* NO_LOCALE = " (mingw's C++ library has only the C locale)";
#else
constexpr const char* NO_LOCALE = " is not installed (scripts/setup.sh generates it)";
#endif
#define REQUIRE_LOCALE(var, name)                                                                  \
    if (!fixture::has_locale(name))                                                                \
        GTEST_SKIP() << "locale " << name << NO_LOCALE;                                            \
    const std::locale var(name)

// A conversion's failure (code 0: none); the global locale must stay the classic one.
template <class Call>
Failure failure_of(Call call) {
    Failure failure;
    try {
        call();
    } catch (const StrCodeCvtError& e) {
        failure = {e.error, e.offset};
    }
    EXPECT_EQ(std::locale().name(), "C");
    return failure;
}

// The user's locale converts in the user's code page: Latin-1 named by LC_ALL on POSIX, the
// system's ANSI code page (1252 here) on Windows, which has no locales but "C". A character
// the page lacks is unmapped at its index; the output keeps only text from before it.
TEST(CodeCvt, UserLocaleConvertsInTheUsersCodePage) {
    fixture::ScopedEnv all("LC_ALL", "en_US.ISO-8859-1");
#ifdef _WIN32
    if (::GetACP() != 1252)
        GTEST_SKIP() << "the system's ANSI code page is " << ::GetACP() << ", not 1252";
#else
    if (!fixture::has_locale("en_US.ISO-8859-1"))
        GTEST_SKIP() << "locale en_US.ISO-8859-1" << NO_LOCALE;
#endif
    const std::locale user = user_default_locale();
    EXPECT_EQ(to_narrow(L"r\u00e9sum\u00e9", user), "r\xE9sum\xE9");
    EXPECT_EQ(to_wide("r\xE9sum\xE9", user), L"r\u00e9sum\u00e9");
    std::string out;
    EXPECT_EQ(failure_of([&] { to_narrow(L"ab\u00e9\u4e2d", user, out); }),
              Failure(CODECVT_NO_MAPPING, 3));
    EXPECT_EQ(std::string("ab\xE9").substr(0, out.size()), out);
}

// A pass with room left too small for the next character goes on; only a cut-off tail fails.
// A NUL byte ends the character before it: a sequence cut off there is incomplete at its lead
// byte instead of joining the bytes after the NUL.
TEST(CodeCvt, MultiBytePassesEqualOneConversionAndTailsAreIncomplete) {
    using namespace std::string_literals;
    REQUIRE_LOCALE(utf8, "en_US.UTF-8");
    std::wstring wide;
    std::string narrow;
    for (int i = 0; i < 3000; ++i) {
        wide += L"a\u00E9\u4E00\U0001F600";
        narrow += "a\xC3\xA9\xE4\xB8\x80\xF0\x9F\x98\x80";
    }
    EXPECT_EQ(to_narrow(wide, utf8), narrow);
    EXPECT_EQ(to_wide(narrow, utf8), wide);
    const std::pair<std::string, Failure> failures[] = {
        {"ab\xE2\x82", {CODECVT_INPUT_EXHAUSTED, 2}},
        {std::string(2000, 'x') + "\xC3\xA9\xF0\x9F\x98", {CODECVT_INPUT_EXHAUSTED, 2002}},
        {"a\xFF", {CODECVT_NO_MAPPING, 1}},
        {"ab\xE2\x82\0\xAC"s, {CODECVT_INPUT_EXHAUSTED, 2}},
    };
    for (const auto& f : failures)
        EXPECT_EQ(failure_of([&] { to_wide(f.first, utf8); }), f.second) << f.first.size();
    EXPECT_EQ(to_wide("a\0\xC3\xA9\0"s, utf8), L"a\0\u00E9\0"s);
}

// Latin-1 has no euro sign; the output keeps what the passes before the failing one gave.
TEST(CodeCvt, UnmappableCharacterNamesItsIndex) {
    REQUIRE_LOCALE(latin1, "en_US.ISO-8859-1");
    std::string out;
    EXPECT_EQ(failure_of([&] { to_narrow(std::wstring(2000, L'x') + L"\u20ACyz", latin1, out); }),
              Failure(CODECVT_NO_MAPPING, 2000));
    EXPECT_TRUE(!out.empty() && out == std::string(out.size(), 'x')) << out;
}

// Unicode tag characters yield no byte in a code page without them: each is unmapped at its
// index, also first in the text, where the C library would abort on an empty output.
TEST(CodeCvt, CharactersThatYieldNoByteAreUnmapped) {
    std::vector<std::locale> locales{std::locale::classic(), std::locale("POSIX")};
    if (fixture::has_locale("en_US.ISO-8859-1"))
        locales.emplace_back("en_US.ISO-8859-1");
    for (const std::locale& locale : locales) {
        std::string out;
        EXPECT_EQ(failure_of([&] { to_narrow(L"ab\U000E0001c", locale, out); }), Failure(2, 2));
        // With 16-bit wchar_t a tag character is a surrogate pair the facet
        // refuses in the same pass, so no earlier pass kept "ab" there.
        EXPECT_EQ(out, sizeof(wchar_t) == 2 ? "" : "ab") << locale.name();
        EXPECT_EQ(failure_of([&] { to_narrow(L"\U000E0041x", locale); }), Failure(2, 0));
    }
    REQUIRE_LOCALE(utf8, "en_US.UTF-8");
    EXPECT_EQ(to_narrow(L"a\U000E0001", utf8), "a\xF3\xA0\x80\x81");
}

// A German global locale, even for a moment, makes other threads read "445.34" as 445.
TEST(CodeCvt, GlobalLocaleIsNeverChanged) {
    REQUIRE_LOCALE(german, "de_DE.UTF-8");
    std::atomic<bool> done{false};
    std::thread converter([&] {
        for (int i = 0; i < 2000; ++i)
            to_wide(to_narrow(L"Gr\u00FC\u00DFe", german), german);
        done = true;
    });
    int changed = 0;
    while (!done)
        changed += std::locale().name() != "C";
    converter.join();
    EXPECT_EQ(changed, 0);
}

// As on Windows, the classic locale widens every byte to the character of its value.
TEST(CodeCvt, ClassicLocaleWidensEveryByte) {
    EXPECT_EQ(to_wide(std::string("\xB5m \xC3\xA9\xFF"), std::locale::classic()),
              std::wstring(L"\x00B5m \x00C3\x00A9\x00FF"));
    EXPECT_EQ(failure_of([] { to_narrow(L"ab\x4E00", std::locale::classic()); }), Failure(2, 2));
    EXPECT_EQ(codecvt_error_text(1) + L"|" + codecvt_error_text(3),
              L"Input buffer exhausted|Unknown error 3");
    EXPECT_EQ(StrCodeCvtError(2, 2, 1, "test").description(),
              L"Code conversion error: Character sequence invalid or has no mapping (offset 2)");
}

// A facet that answers every pass with `result` and claims sequences of up to `longest` bytes.
struct FixedFacet : std::codecvt<wchar_t, char, std::mbstate_t> {
    FixedFacet(result always, int max_length) : answer(always), longest(max_length) {}
    result do_out(state_type&, const wchar_t* from, const wchar_t*, const wchar_t*& next, char* to,
                  char*, char*& to_next) const override {
        return next = from, to_next = to, answer;
    }
    result do_in(state_type&, const char* from, const char*, const char*& next, wchar_t* to,
                 wchar_t*, wchar_t*& to_next) const override {
        return next = from, to_next = to, answer;
    }
    int do_max_length() const noexcept override { return longest; }
    result answer;
    int longest;
};

// No conversion keeps low bytes and widens bytes as signed 8-bit values into 16 bits; the
// 129-unit buffer of a short text holds a 128-byte sequence, not a 129-byte one.
TEST(CodeCvt, FacetAnswersAndLongestSequence) {
    using Cvt = std::codecvt_base;
    const std::wstring TOO_SMALL = L"Assert Failure: Buffer is not big enough";
    const std::tuple<Cvt::result, int, std::wstring, std::wstring> cases[] = {
        {Cvt::noconv, 128, L"a\xFF80\xFFFF", L"a\x34"},
        {Cvt::noconv, 129, TOO_SMALL, TOO_SMALL},
    };
    const auto outcome = [](auto call) -> std::wstring {
        try {
            const auto out = call();
            return std::wstring(out.begin(), out.end());
        } catch (const AssertFailure& e) {
            return e.description();
        }
    };
    for (const auto& [answer, longest, widened, narrowed] : cases) {
        const std::locale locale(std::locale::classic(), new FixedFacet(answer, longest));
        EXPECT_EQ(outcome([&] { return to_wide("a\x80\xFF", locale); }), widened) << longest;
        EXPECT_EQ(outcome([&] { return to_narrow(L"a\x1234", locale); }), narrowed) << longest;
    }
}

} // namespace
