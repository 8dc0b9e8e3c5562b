#include <pal/msgcatalog.h>

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace {

constexpr std::uint32_t ID = 0x4C0336B0u;
const std::wstring NOT_FOUND = L"Message 0x4c0336b0 not found in the catalog.";

// Catalog text files are the POSIX form; on Windows a catalog is a
// message-table library, read by the host catalog test.
#ifdef _WIN32
#define REQUIRE_TEXT_CATALOGS()                                                                    \
    GTEST_SKIP() << "catalogs are message-table libraries on Windows (see the host catalog test)"
#else
#define REQUIRE_TEXT_CATALOGS() (void)0
#endif

// A catalog whose files lie in a test's temporary folder.
struct FolderCatalog : PAL::MsgCatalog {
    FolderCatalog(const std::wstring& catalog_name, const fixture::TempDir& dir)
        : PAL::MsgCatalog(catalog_name), folder(dir.path()) {}
    std::wstring prefix() const override { return (folder / "").wstring(); }
    std::filesystem::path folder;
};

// Files named prefix + name + language + ".msg": the user's language, else
// British English, by whole file. An empty name loads nothing.
TEST(MsgCatalogFiles, UserLanguageThenBritishEnglish) {
    REQUIRE_TEXT_CATALOGS();
    const struct {
        const char* lang;
        std::wstring name;
        std::map<std::string, std::string> files;
        std::wstring expected;
    } cases[] = {
        {"en_US", L"x", {{"x0409.msg", "0x4C0336B0=US"}, {"x0809.msg", "0x4C0336B0=GB"}}, L"US"},
        {"fr_FR", L"x", {{"x040c.msg", "0x4C0336B0=FR"}, {"x0809.msg", "0x4C0336B0=GB"}}, L"FR"},
        {"en_US", L"x", {{"x0809.msg", "0x4C0336B0=GB"}}, L"GB"},
        {"fr_FR", L"x", {{"x0409.msg", "0x4C0336B0=US"}}, NOT_FOUND},
        {"en_US", L"x", {{"x0409.msg", "0x2=two"}, {"x0809.msg", "0x4C0336B0=GB"}}, NOT_FOUND},
        {"en_US", L"", {{"0409.msg", "0x4C0336B0=US"}, {"0809.msg", "0x4C0336B0=GB"}}, NOT_FOUND},
    };
    for (const auto& c : cases) {
        fixture::ScopedEnv language("LC_ALL", c.lang);
        fixture::TempDir dir;
        for (const auto& [name, content] : c.files)
            dir.write(name, content);
        EXPECT_EQ(FolderCatalog(c.name, dir).message_text(ID), c.expected) << c.lang;
    }
}

TEST(MsgCatalogFiles, ReadsTheDocumentedFormat) {
    REQUIRE_TEXT_CATALOGS();
    const std::pair<std::string, std::wstring> cases[] = {
        {"0x4C0336B0=%1 and %99\n", L"%1 and %99"},
        {"0x4C0336B0 = Scan found  \t\r\n", L"Scan found"},
        {"0x4C0336B0 = Cannot open %1:\n %2\n\tthird\n \n\n not this",
         L"Cannot open %1:\n%2\nthird"},
        {"0x4C0336B0 = first\n# 0x4C0336B0 = no\nnot an entry\n0x4c0336b0 = last", L"last"},
        {"0x4C0336B0 = kept\n\n 0x4C0336B0 = indented, no entry\n", L"kept"},
        {"\xEF\xBB\xBF"
         "0x4C0336B0 = d\xC3\xA9j\xC3\xA0 \xE2\x82\xAC\n",
         L"d\u00e9j\u00e0 \u20ac"},
    };
    fixture::ScopedEnv language("LC_ALL", "en_US");
    fixture::TempDir dir;
    for (const auto& [file, expected] : cases) {
        dir.write("t0409.msg", file);
        EXPECT_EQ(FolderCatalog(L"t", dir).message_text(ID), expected) << file;
    }
}

TEST(MsgCatalogFiles, FailedLoadIsTriedAgain) {
    REQUIRE_TEXT_CATALOGS();
    fixture::ScopedEnv language("LC_ALL", "en_US");
    fixture::TempDir dir;
    FolderCatalog catalog(L"late", dir);
    EXPECT_EQ(catalog.message_text(ID), NOT_FOUND);
    dir.write("late0809.msg", "0x4C0336B0 = installed later\n");
    EXPECT_EQ(catalog.message_text(ID), L"installed later");
}

// LANG naming a locale the machine lacks gives the classic locale; the catalog still answers.
TEST(UserLocale, MissingLocaleFallsBackToClassic) {
    ASSERT_FALSE(fixture::has_locale("zz_ZZ.UTF-8"));
    fixture::ScopedEnv all("LC_ALL", nullptr), messages("LC_MESSAGES", nullptr);
    const std::pair<const char*, std::wstring> langs[] = {
        {"zz_ZZ.UTF-8", L"0409"}, {"de_DE.UTF-8", L"0407"}, {"fr_FR.UTF-8", L"040c"}};
#ifdef _WIN32
    // The user's language and code page are the system's whatever LANG says;
    // the user's locale is the classic one marked for the ANSI code page.
    const std::wstring system_code = PAL::user_language_code();
#endif
    for (const auto& [lang, code] : langs) {
        fixture::ScopedEnv language("LANG", lang);
        EXPECT_EQ(PAL::MsgCatalog(L"").message_text(ID), NOT_FOUND) << lang;
#ifdef _WIN32
        EXPECT_EQ(PAL::user_default_locale().name(), "*");
        EXPECT_EQ(PAL::user_language_code(), system_code);
#else
        EXPECT_EQ(PAL::user_default_locale().name(), fixture::has_locale(lang) ? lang : "C");
        EXPECT_EQ(PAL::user_language_code(), code);
#endif
    }
}

} // namespace
