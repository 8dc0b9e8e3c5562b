#include <pal/exception.h>
#include <pal/string.h>

#include "common/pal/os_seam.h"
#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr const char* source_file = "exception_test";
const std::wstring NOT_FOUND = L"Message 0x4c0336b0 not found in the catalog.";

// The system's own text for an error number: the C library's on POSIX, the
// system message table's on Windows (without its line break).
std::wstring system_text(std::uint32_t code) {
#ifdef _WIN32
    wchar_t text[512] = {};
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                         0, text, 512, nullptr);
    std::wstring found(text, length);
    while (!found.empty() && (found.back() == L'\n' || found.back() == L'\r'))
        found.pop_back();
    return found;
#else
    const std::string found = std::strerror(static_cast<int>(code));
    return std::wstring(found.begin(), found.end());
#endif
}

// Every class is caught as PAL::Exception, never as std::exception, records where it was
// raised and describes itself (the string errors' texts in their own tests).
TEST(ExceptionFamily, CaughtAsPalExceptionNeverAsStdException) {
    EXPECT_NO_THROW(PAL_ASSERT(1 + 1 == 2, L"arithmetic"));
    const std::wstring system = system_text(2);
    const std::pair<std::function<void()>, std::wstring> cases[] = {
        {[] { PAL_RAISE(PAL::UseCountIsZero); }, L"PAL::UseCountIsZero"},
        {[] { PAL_ASSERT(1 + 1 == 3, L"msg_id is 0"); }, L"Assert Failure: msg_id is 0"},
        // The message identifier is described, neither the status code nor the arguments.
        {[] { PAL_RAISE(PAL::AppError, 0x80040802u, PAL::Message(0xC8020002u).add(L"a")); },
         L"Application Error 0xc8020002"},
        {[] { PAL_RAISE(PAL::WindowsError, 2u); }, system},
        {[] { PAL_RAISE(PAL::WindowsError, 0x4C0336B0u); }, NOT_FOUND},
        {[] { PAL_RAISE(PAL::StrDecodeError, 3, 12u); }, L""},
        {[] { PAL_RAISE(PAL::StrCodeCvtError, 1, 4u); }, L""},
        {[] { PAL_RAISE(PAL::DateTimeCvtError, 1, 9u); }, L""},
    };
    unsigned int previous_line = 0; // one raise per line, so lines only grow
    for (const auto& [raise, description] : cases) {
        try {
            raise();
            ADD_FAILURE() << "nothing was raised";
        } catch (const std::exception&) {
            ADD_FAILURE() << "caught as std::exception";
        } catch (const PAL::Exception& e) {
            EXPECT_STREQ(e.file, "exception_test");
            EXPECT_GT(e.line, std::exchange(previous_line, e.line));
            EXPECT_EQ(description.empty() ? L"" : e.description(), description);
        }
    }
}

// A translated system text is read in the character set of the process's locale
// (German has umlauts where the text for ENOSPC is translated).
TEST(ExceptionDescription, WindowsErrorTextIsReadInTheProcessCharacterSet) {
    if (!fixture::has_locale("de_DE.UTF-8"))
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (scripts/setup.sh generates it)";
    const std::locale german("de_DE.UTF-8");
    const std::locale saved = std::locale::global(german);
    const std::wstring expected = PAL::to_wide(std::strerror(ENOSPC), german);
    const std::wstring described = PAL::WindowsError(ENOSPC, 1, "x").description();
    std::locale::global(saved);
    EXPECT_EQ(described, expected);
}

// The first description builds the system catalog: in a fresh process whose
// locks cannot be made, it still answers and raises nothing of its own.
TEST(ExceptionDescriptionDeathTest, WindowsErrorDescribesItselfWhenNoLockCanBeMade) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            pal_test::SyscallsGuard os;
            os.table().lock_init = [](void*, unsigned int) { return 12; };
            std::exit(PAL::WindowsError(0x4C0336B0, 1, "x").description() == NOT_FOUND ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
