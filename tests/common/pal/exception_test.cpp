#include <pal/exception.h>

#include "common/pal/os_seam.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace {
constexpr const char* source_file = "exception_test";

std::wstring widen_ascii(const char* text) {
    return std::wstring(text, text + std::strlen(text));
}

struct DescriptionCase {
    const char* what;
    std::shared_ptr<const PAL::Exception> error;
    std::wstring expected;
};

TEST(ExceptionDescription, EveryCoreClassDescribesItself) {
    const std::vector<DescriptionCase> cases = {
        {"use count", std::make_shared<PAL::UseCountIsZero>(1, "atomic"), L"PAL::UseCountIsZero"},
        {"assert", std::make_shared<PAL::AssertFailure>(L"msg_id is 0", 2, "msgcatalog"),
         L"Assert Failure: msg_id is 0"},
        {"assert without text", std::make_shared<PAL::AssertFailure>(nullptr, 3, "x"),
         L"Assert Failure: "},
        // The identifier is described, not the status code.
        {"app error",
         std::make_shared<PAL::AppError>(0x80040853u, PAL::Message(0xC8020053u), 4, "x"),
         L"Application Error 0xc8020053"},
        {"app error arguments left out",
         std::make_shared<PAL::AppError>(0x80040802u, PAL::Message(0xC8020002u).add(L"a.mzXML"), 5,
                                         "x"),
         L"Application Error 0xc8020002"},
        {"app error without fill",
         std::make_shared<PAL::AppError>(0x80040800u, PAL::Message(0x1Au), 6, "x"),
         L"Application Error 0x1a"},
        {"windows error unknown to the system",
         std::make_shared<PAL::WindowsError>(0xDEADBEEFu, 7, "x"),
         L"Message 0xdeadbeef not found in the catalog."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.error->description(), c.expected);
    }
}

TEST(ExceptionDescription, WindowsErrorGivesSystemTextWithoutLineBreak) {
    const std::wstring text = PAL::WindowsError(2, 1, "x").description();
    EXPECT_EQ(text, widen_ascii(std::strerror(2)));
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), L'\n');
}

// The system's text passes through the OS seam; when the system has none
// the catalog's fallback sentence stands in.
bool text_with_line_break(std::uint32_t, std::wstring& text) {
    text = L"Disk on fire \r\n\t ";
    return true;
}
bool no_text(std::uint32_t, std::wstring&) {
    return false;
}

TEST(ExceptionDescription, WindowsErrorTrimsAndFallsBack) {
    pal_test::SyscallsGuard os;
    os.table().error_text = text_with_line_break;
    EXPECT_EQ(PAL::WindowsError(5, 1, "x").description(), L"Disk on fire");
    os.table().error_text = no_text;
    EXPECT_EQ(PAL::WindowsError(0x1F, 1, "x").description(),
              L"Message 0x1f not found in the catalog.");
}

int failing_lock_init(void*, unsigned int) {
    return 12;
}

// The first description of a WindowsError builds the system catalog. Run in a
// fresh process so that nothing built it before, with locks that cannot be
// made: the description still answers, and raises nothing of its own.
TEST(ExceptionDescriptionDeathTest, WindowsErrorDescribesItselfWhenNoLockCanBeMade) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            pal_test::SyscallsGuard os;
            os.table().lock_init = failing_lock_init;
            const std::wstring text = PAL::WindowsError(0x4C0336B0, 1, "x").description();
            std::exit(text == L"Message 0x4c0336b0 not found in the catalog." ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(ExceptionRaise, RecordsSourceNameAndLine) {
    unsigned int line = 0;
    try {
        line = __LINE__ + 1;
        PAL_RAISE(PAL::WindowsError, 13u);
    } catch (const PAL::WindowsError& e) {
        EXPECT_EQ(e.code, 13u);
        EXPECT_EQ(e.line, line);
        EXPECT_STREQ(e.file, "exception_test");
    }
    EXPECT_NE(line, 0u);
}

TEST(ExceptionRaise, AssertThrowsOnlyOnFailure) {
    EXPECT_NO_THROW(PAL_ASSERT(1 + 1 == 2, L"arithmetic"));
    try {
        PAL_ASSERT(1 + 1 == 3, L"arithmetic");
        ADD_FAILURE() << "a failed assertion did not throw";
    } catch (const PAL::AssertFailure& e) {
        EXPECT_EQ(e.text, L"arithmetic");
        EXPECT_STREQ(e.file, "exception_test");
    }
}

struct Raiser {
    const char* what;
    void (*raise)();
};

// The family is caught as PAL::Exception and is no std::exception, so a
// handler written for the standard library's errors lets it pass.
TEST(ExceptionFamily, CaughtAsPalExceptionNeverAsStdException) {
    const Raiser raisers[] = {
        {"UseCountIsZero", [] { PAL_RAISE(PAL::UseCountIsZero); }},
        {"AssertFailure", [] { PAL_RAISE(PAL::AssertFailure, L"text"); }},
        {"AppError", [] { PAL_RAISE(PAL::AppError, 0x80040801u, PAL::Message(0xC8020001u)); }},
        {"WindowsError", [] { PAL_RAISE(PAL::WindowsError, 2u); }},
        {"StrDecodeError", [] { PAL_RAISE(PAL::StrDecodeError, 3, 12u); }},
        {"StrCodeCvtError", [] { PAL_RAISE(PAL::StrCodeCvtError, 1, 4u); }},
        {"DateTimeCvtError", [] { PAL_RAISE(PAL::DateTimeCvtError, 1); }},
        {"DateTimeCvtError with offset", [] { PAL_RAISE(PAL::DateTimeCvtError, 1, 9u); }},
    };
    for (const auto& r : raisers) {
        SCOPED_TRACE(r.what);
        bool as_std = false;
        bool as_pal = false;
        try {
            try {
                r.raise();
            } catch (const std::exception&) {
                as_std = true;
            }
        } catch (const PAL::Exception& e) {
            as_pal = true;
            EXPECT_STREQ(e.file, "exception_test");
        }
        EXPECT_FALSE(as_std);
        EXPECT_TRUE(as_pal);
    }
}

} // namespace
