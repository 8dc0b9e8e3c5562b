#include <pal/msgcatalog.h>

#include "os/syscalls.h"
#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t ID = 0x4C0336B0u;
const std::wstring NOT_FOUND = L"Message 0x4c0336b0 not found in the catalog.";

// The text file format is the POSIX catalog's; on Windows a catalog is a
// message-table library.
#ifdef _WIN32
#define REQUIRE_TEXT_CATALOGS() GTEST_SKIP() << "catalogs are message-table libraries on Windows"
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

// Puts the catalog file `stem` + the platform's extension into `dir`, holding
// the message as `text`, or another message only when `text` is empty. On
// Windows it is a copy of a library built with the tests.
void install(const fixture::TempDir& dir, const std::wstring& stem, const std::string& text) {
#ifdef _WIN32
    const std::filesystem::path built(ORVO_TEST_CATALOG_LIBS);
    std::filesystem::copy_file(built / ((text.empty() ? "none" : text) + ".dll"),
                               dir.path() / (stem + L".dll"));
#else
    dir.write(std::filesystem::path(stem).string() + ".msg",
              text.empty() ? "0x2=two" : "0x4C0336B0=" + text);
#endif
}

// Files named prefix + name + language + extension: the user's language,
// else British English, by whole file. An empty name loads nothing.
TEST(MsgCatalogFiles, UserLanguageThenBritishEnglish) {
    enum Lang { USER, BRITISH, OTHER };
    struct Locale {
        const char* name;
        std::wstring code;
    };
    const Locale en{"en_US", L"0409"}, fr{"fr_FR", L"040c"};
    const struct {
        Locale locale;
        std::wstring name;
        std::vector<std::pair<Lang, std::string>> files;
        std::wstring expected;
    } cases[] = {
        {en, L"x", {{USER, "US"}, {BRITISH, "GB"}}, L"US"},
        {fr, L"x", {{USER, "FR"}, {BRITISH, "GB"}}, L"FR"},
        {en, L"x", {{BRITISH, "GB"}}, L"GB"},
        {fr, L"x", {{OTHER, "US"}}, NOT_FOUND},
        {en, L"x", {{USER, ""}, {BRITISH, "GB"}}, NOT_FOUND},
        {en, L"", {{USER, "US"}, {BRITISH, "GB"}}, NOT_FOUND},
    };
#ifdef _WIN32
    // The user's language is the system's for the whole process: it stands
    // for the language each case names.
    const std::wstring system_code = PAL::user_language_code();
    if (system_code == L"0809")
        GTEST_SKIP() << "the user's language is British English: no fallback to see";
#endif
    for (const auto& c : cases) {
        fixture::ScopedEnv language("LC_ALL", c.locale.name);
#ifdef _WIN32
        const std::wstring& user = system_code;
#else
        const std::wstring& user = c.locale.code;
#endif
        const std::wstring codes[] = {user, L"0809", user == L"0409" ? L"040c" : L"0409"};
        fixture::TempDir dir;
        for (const auto& [lang, text] : c.files)
            install(dir, c.name + codes[lang], text);
        EXPECT_EQ(FolderCatalog(c.name, dir).message_text(ID), c.expected) << c.locale.name;
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
    fixture::ScopedEnv language("LC_ALL", "en_US");
    fixture::TempDir dir;
    FolderCatalog catalog(L"late", dir);
    EXPECT_EQ(catalog.message_text(ID), NOT_FOUND);
    install(dir, L"late0809", "GB");
    EXPECT_EQ(catalog.message_text(ID), L"GB");
}

#ifdef _WIN32
// The system gives a library's text with the blanks and line end of its
// source; the catalog's text ends at the last visible character.
TEST(MsgCatalogFiles, LibraryTextLosesItsTrailingBlanks) {
    fixture::TempDir dir;
    install(dir, L"t0809", "GB");
    const auto& os = PAL::os::syscalls();
    void* module = os.catalog_open((dir.path() / L"t0809.dll").wstring());
    ASSERT_NE(module, nullptr);
    std::wstring raw;
    const bool found = os.catalog_find(module, ID, raw);
    os.catalog_close(module);
    EXPECT_TRUE(found && raw.starts_with(L"GB \t") && raw.ends_with(L"\n")) << raw;
    EXPECT_EQ(FolderCatalog(L"t", dir).message_text(ID), L"GB");
}
#endif

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
