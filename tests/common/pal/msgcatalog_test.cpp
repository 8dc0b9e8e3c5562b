#include <pal/msgcatalog.h>

#include "common/pal/lock_probe.h"
#include "common/pal/os_seam.h"
#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::uint32_t UNKNOWN_ID = 0x4C0336B0u;
const std::wstring UNKNOWN_TEXT = L"Message 0x4c0336b0 not found in the catalog.";

// The user's language for one test: LANG as given, the stronger variables
// cleared, so the machine's own settings do not matter.
struct UserLanguage {
    explicit UserLanguage(const char* lang, const char* messages = nullptr,
                          const char* all = nullptr)
        : all_env("LC_ALL", all), messages_env("LC_MESSAGES", messages), lang_env("LANG", lang) {}
    fixture::ScopedEnv all_env;
    fixture::ScopedEnv messages_env;
    fixture::ScopedEnv lang_env;
};

// A catalog whose files lie in a test's temporary folder.
class FolderCatalog : public PAL::MsgCatalog {
public:
    FolderCatalog(const std::wstring& name, const std::filesystem::path& folder)
        : PAL::MsgCatalog(name), folder(folder) {}
    std::wstring prefix() const override { return (folder / "").wstring(); }

private:
    std::filesystem::path folder;
};

// Catalog file reads pass through here, so tests see which names were tried.
std::vector<std::wstring> tried_paths;
bool recording_read(const std::wstring& path, std::string& bytes) {
    tried_paths.push_back(path);
    return PAL::os::native_syscalls().read_catalog_file(path, bytes);
}

struct LanguageCase {
    const char* lang;
    const char* messages;
    const char* all;
    std::wstring code;
};

TEST(UserLanguage, TakesTheStrongestVariableThatIsSet) {
    const LanguageCase cases[] = {
        {"en_US.UTF-8", nullptr, nullptr, L"0409"},
        {"en_GB.UTF-8", nullptr, nullptr, L"0809"},
        {"fr_FR.UTF-8", nullptr, nullptr, L"040c"},
        {"de_DE", nullptr, nullptr, L"0407"},
        {nullptr, nullptr, nullptr, L"0409"},
        {"", nullptr, nullptr, L"0409"},
        {"C", nullptr, nullptr, L"0409"},
        {"fr_FR.UTF-8", "", "", L"040c"},
        {"de_DE.UTF-8", "fr_FR.UTF-8", nullptr, L"040c"},
        {"de_DE.UTF-8", "fr_FR.UTF-8", "en_GB.UTF-8", L"0809"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "LANG=" << (c.lang ? c.lang : "(unset)")
                                        << " LC_MESSAGES=" << (c.messages ? c.messages : "(unset)")
                                        << " LC_ALL=" << (c.all ? c.all : "(unset)"));
        UserLanguage language(c.lang, c.messages, c.all);
        EXPECT_EQ(PAL::user_language_code(), c.code);
    }
}

struct OrderCase {
    const char* lang;
    std::vector<std::wstring> names;
};

TEST(MsgCatalogFiles, TriesUserLanguageThenBritishEnglish) {
    fixture::TempDir dir;
    const std::wstring prefix = (dir.path() / "").wstring();
    const OrderCase cases[] = {
        {"en_US.UTF-8", {L"x0409.msg", L"x0809.msg"}},
        {"fr_FR.UTF-8", {L"x040c.msg", L"x0809.msg"}},
        {"de_DE.UTF-8", {L"x0407.msg", L"x0809.msg"}},
    };
    pal_test::SyscallsGuard os;
    os.table().read_catalog_file = recording_read;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lang);
        UserLanguage language(c.lang);
        tried_paths.clear();
        FolderCatalog catalog(L"x", dir.path());
        EXPECT_EQ(catalog.message_text(UNKNOWN_ID), UNKNOWN_TEXT);
        std::vector<std::wstring> expected;
        for (const auto& name : c.names)
            expected.push_back(prefix + name);
        EXPECT_EQ(tried_paths, expected);
    }
}

struct FallbackCase {
    const char* what;
    const char* lang;
    std::map<std::string, std::string> files;
    std::wstring expected;
};

TEST(MsgCatalogFiles, FallsBackByWholeFile) {
    const FallbackCase cases[] = {
        {"user language first",
         "en_US.UTF-8",
         {{"x0409.msg", "0x4C0336B0 = US\n"}, {"x0809.msg", "0x4C0336B0 = GB\n"}},
         L"US"},
        {"british english when the user's is missing",
         "en_US.UTF-8",
         {{"x0809.msg", "0x4C0336B0 = GB\n"}},
         L"GB"},
        {"french first",
         "fr_FR.UTF-8",
         {{"x040c.msg", "0x4C0336B0 = FR\n"}, {"x0809.msg", "0x4C0336B0 = GB\n"}},
         L"FR"},
        {"us english is no fallback for french",
         "fr_FR.UTF-8",
         {{"x0409.msg", "0x4C0336B0 = US\n"}},
         UNKNOWN_TEXT},
        // Once the user's file is loaded, a text it lacks is not sought in 0809.
        {"the loaded file answers alone",
         "en_US.UTF-8",
         {{"x0409.msg", "0x4C0336B1 = other\n"}, {"x0809.msg", "0x4C0336B0 = GB\n"}},
         UNKNOWN_TEXT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UserLanguage language(c.lang);
        fixture::TempDir dir;
        for (const auto& [name, content] : c.files)
            dir.write(name, content);
        FolderCatalog catalog(L"x", dir.path());
        EXPECT_EQ(catalog.message_text(UNKNOWN_ID), c.expected);
    }
}

struct TextCase {
    const char* what;
    std::string file;
    std::uint32_t id;
    std::wstring expected;
};

TEST(MsgCatalogFiles, ReadsTheDocumentedFormat) {
    const TextCase cases[] = {
        {"insert markers kept", "0xC8020002 = Cannot open the file %1.\n", 0xC8020002u,
         L"Cannot open the file %1."},
        {"two-digit marker", "0xC8020002=%1 and %99\n", 0xC8020002u, L"%1 and %99"},
        {"trailing blanks trimmed", "0xC8020002 = Scan found  \t\r\n", 0xC8020002u, L"Scan found"},
        {"continuation line", "0xC8020003 = Cannot open the file %1:\n %2\n", 0xC8020003u,
         L"Cannot open the file %1:\n%2"},
        {"tab continuation", "0xC8020003 = first\n\tsecond\n\t third\n", 0xC8020003u,
         L"first\nsecond\n third"},
        {"trailing line break trimmed", "0xC8020003 = Line\n \n", 0xC8020003u, L"Line"},
        {"white space only", "0xC8020004 =   \n", 0xC8020004u, L""},
        {"lower-case identifier", "0xc8020053 = lower\n", 0xC8020053u, L"lower"},
        {"comment skipped", "# 0xC8020008 = no\n0xC8020008 = yes\n", 0xC8020008u, L"yes"},
        {"later entry wins", "0xC8020008 = first\n0xC8020008 = second\n", 0xC8020008u, L"second"},
        {"blank line ends an entry", "0xC8020008 = a\n\n b\n", 0xC8020008u, L"a"},
        {"other lines ignored", "not an entry\n0xC8020008 = eight\n", 0xC8020008u, L"eight"},
        {"byte order mark",
         "\xEF\xBB\xBF"
         "0xC8020008 = bom\n",
         0xC8020008u, L"bom"},
        {"utf-8 text", "0xC8020008 = d\xC3\xA9j\xC3\xA0 \xE2\x82\xAC\n", 0xC8020008u,
         L"d\u00e9j\u00e0 \u20ac"},
        {"no final line break", "0xC8020008 = end", 0xC8020008u, L"end"},
    };
    UserLanguage language("en_US.UTF-8");
    fixture::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dir.write("t0409.msg", c.file);
        FolderCatalog catalog(L"t", dir.path());
        EXPECT_EQ(catalog.message_text(c.id), c.expected);
    }
}

TEST(MsgCatalogText, CatalogThenSystemThenFallbackSentence) {
    UserLanguage language("en_US.UTF-8");
    fixture::TempDir dir;
    dir.write("x0409.msg", "0x2 = catalog two\n");
    FolderCatalog with_file(L"x", dir.path());
    FolderCatalog without_file(L"none", dir.path());
    const std::string system = std::strerror(2);

    EXPECT_EQ(with_file.message_text(2), L"catalog two");
    EXPECT_EQ(without_file.message_text(2), std::wstring(system.begin(), system.end()));
    EXPECT_EQ(without_file.message_text(UNKNOWN_ID), UNKNOWN_TEXT);
    EXPECT_EQ(without_file.message_text(0xC8020053u),
              L"Message 0xc8020053 not found in the catalog.");
}

TEST(MsgCatalogText, FallbackSentenceDigitsAreNotGrouped) {
    if (!fixture::has_locale("de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 is not installed here";
    UserLanguage language("de_DE.UTF-8");
    PAL::MsgCatalog catalog(L"");
    EXPECT_EQ(catalog.message_text(0xC8020053u), L"Message 0xc8020053 not found in the catalog.");
}

TEST(MsgCatalogText, EmptyNameReadsNoFile) {
    UserLanguage language("en_US.UTF-8");
    fixture::TempDir dir;
    // What an empty name would load if it were tried.
    dir.write("0409.msg", "0x4C0336B0 = found\n");
    dir.write("0809.msg", "0x4C0336B0 = found\n");
    pal_test::SyscallsGuard os;
    os.table().read_catalog_file = recording_read;
    tried_paths.clear();

    FolderCatalog catalog(L"", dir.path());
    EXPECT_EQ(catalog.message_text(UNKNOWN_ID), UNKNOWN_TEXT);
    EXPECT_TRUE(tried_paths.empty());
}

TEST(MsgCatalogText, FailedLoadIsTriedAgain) {
    UserLanguage language("en_US.UTF-8");
    fixture::TempDir dir;
    FolderCatalog catalog(L"late", dir.path());
    EXPECT_EQ(catalog.message_text(UNKNOWN_ID), UNKNOWN_TEXT);
    dir.write("late0809.msg", "0x4C0336B0 = installed later\n");
    EXPECT_EQ(catalog.message_text(UNKNOWN_ID), L"installed later");
}

TEST(MsgCatalogText, SharedByThreads) {
    UserLanguage language("en_US.UTF-8");
    fixture::TempDir dir;
    dir.write("x0409.msg", "0x4C0336B0 = zero\n0x4C0336B1 = one\n");
    FolderCatalog catalog(L"x", dir.path());
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&catalog, &wrong, t] {
            for (int i = 0; i < 200; ++i) {
                const bool odd = (i + t) % 2 == 1;
                const std::wstring text = catalog.message_text(UNKNOWN_ID + (odd ? 1 : 0));
                if (text != (odd ? L"one" : L"zero"))
                    ++wrong[static_cast<std::size_t>(t)];
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
    EXPECT_TRUE(pal_test::free_for_other_thread(catalog.lock));
}

TEST(UserLocale, MissingLocaleFallsBackToClassic) {
    const char* missing = "zz_ZZ.UTF-8";
    ASSERT_FALSE(fixture::has_locale(missing));
    UserLanguage language(missing);
    std::locale user;
    EXPECT_NO_THROW(user = PAL::user_default_locale());
    EXPECT_EQ(user.name(), "C");
    EXPECT_NO_THROW({
        PAL::MsgCatalog catalog(L"x");
        EXPECT_EQ(catalog.message_text(UNKNOWN_ID), UNKNOWN_TEXT);
    });
}

TEST(UserLocale, InstalledLocaleIsUsed) {
    const char* installed = "C.UTF-8";
    if (!fixture::has_locale(installed))
        GTEST_SKIP() << installed << " is not installed here";
    UserLanguage language(installed);
    EXPECT_EQ(PAL::user_default_locale().name(), installed);
}

} // namespace
