#include <pal/exception.h>
#include <pal/message.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <locale>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

TEST(Message, IdentifierZeroIsRefused) {
    try {
        PAL::Message message(0);
        ADD_FAILURE() << "identifier 0 was accepted";
    } catch (const PAL::AssertFailure& e) {
        EXPECT_EQ(e.text, L"msg_id is 0");
        EXPECT_STREQ(e.file, "msgcatalog");
    }
    const PAL::Message later;
    EXPECT_EQ(later.id, 0u);
    EXPECT_TRUE(later.args.empty());
    const PAL::Message message(0xC8020002u);
    EXPECT_EQ(message.id, 0xC8020002u);
    EXPECT_TRUE(message.args.empty());
}

struct AddCase {
    const char* what;
    std::function<void(PAL::Message&)> add;
    std::wstring expected;
};

using I32 = std::int32_t;
using U32 = std::uint32_t;
using I64 = long long;
using U64 = unsigned long long;

const std::vector<AddCase>& add_cases() {
    static const std::vector<AddCase> cases = {
        // Text: right-aligned in a blank-filled field when a width is given.
        {"text", [](auto& m) { m.add(std::wstring(L"abc")); }, L"abc"},
        {"text wider field", [](auto& m) { m.add(std::wstring(L"abc"), 5); }, L"  abc"},
        {"text narrower field", [](auto& m) { m.add(std::wstring(L"abc"), 2); }, L"abc"},
        {"text negative width", [](auto& m) { m.add(std::wstring(L"abc"), -4); }, L"abc"},
        {"empty text in field", [](auto& m) { m.add(std::wstring(), 3); }, L"   "},
        // Signed 32-bit.
        {"i32 plain", [](auto& m) { m.add(I32{7}, 0, 10, true); }, L"7"},
        {"i32 width 3", [](auto& m) { m.add(I32{7}, 3, 10, true); }, L"  7"},
        {"i32 negative", [](auto& m) { m.add(I32{-42}); }, L"-42"},
        {"i32 negative in field", [](auto& m) { m.add(I32{-42}, 5); }, L"  -42"},
        {"i32 minimum", [](auto& m) { m.add(std::numeric_limits<I32>::min()); }, L"-2147483648"},
        {"i32 hex showbase", [](auto& m) { m.add(I32{255}, 0, 16, true); }, L"0xff"},
        {"i32 hex bare", [](auto& m) { m.add(I32{255}, 0, 16, false); }, L"ff"},
        {"i32 hex in field", [](auto& m) { m.add(I32{255}, 6, 16, true); }, L"  0xff"},
        {"i32 octal showbase", [](auto& m) { m.add(I32{8}, 0, 8, true); }, L"010"},
        {"i32 octal bare", [](auto& m) { m.add(I32{8}, 0, 8, false); }, L"10"},
        {"i32 other base is decimal", [](auto& m) { m.add(I32{255}, 0, 2, true); }, L"255"},
        {"i32 zero hex shows no base", [](auto& m) { m.add(I32{0}, 0, 16, true); }, L"0"},
        // Unsigned 32-bit, both forms.
        {"u32 maximum", [](auto& m) { m.add(U32{4294967295u}); }, L"4294967295"},
        {"u32 hex", [](auto& m) { m.add(U32{0xFFFFFFFFu}, 0, 16, true); }, L"0xffffffff"},
        {"u32 width", [](auto& m) { m.add(U32{7}, 3); }, L"  7"},
        {"unsigned long", [](auto& m) { m.add(4000000000ul); }, L"4000000000"},
        {"unsigned long octal", [](auto& m) { m.add(64ul, 0, 8, true); }, L"0100"},
        {"long negative", [](auto& m) { m.add(-5l); }, L"-5"},
        // 64-bit.
        {"i64 beyond 32 bits", [](auto& m) { m.add(I64{1} << 40); }, L"1099511627776"},
        {"i64 minimum", [](auto& m) { m.add(std::numeric_limits<I64>::min()); },
         L"-9223372036854775808"},
        {"i64 hex", [](auto& m) { m.add(std::numeric_limits<I64>::max(), 0, 16, true); },
         L"0x7fffffffffffffff"},
        {"i64 negative in field", [](auto& m) { m.add(I64{-1}, 4); }, L"  -1"},
        {"u64 maximum", [](auto& m) { m.add(std::numeric_limits<U64>::max()); },
         L"18446744073709551615"},
        {"u64 hex bare", [](auto& m) { m.add(U64{0xABCDEF0123ull}, 0, 16, false); }, L"abcdef0123"},
    };
    return cases;
}

TEST(MessageAdd, FormatsEveryForm) {
    for (const auto& c : add_cases()) {
        SCOPED_TRACE(c.what);
        PAL::Message message(1);
        c.add(message);
        ASSERT_EQ(message.args.size(), 1u);
        EXPECT_EQ(message.args[0], c.expected);
    }
}

// Width, base and showbase belong to one argument; none of them may leak
// into the arguments added after it.
TEST(MessageAdd, FormatsDoNotCarryOverToLaterArguments) {
    PAL::Message message(1);
    std::vector<std::wstring> expected;
    for (const auto& c : add_cases()) {
        c.add(message);
        expected.push_back(c.expected);
    }
    EXPECT_EQ(message.args, expected);
}

// The host inserts plain digits, whatever the process's global locale groups.
TEST(MessageAdd, NumbersIgnoreTheGlobalLocale) {
    const char* grouping = "de_DE.UTF-8";
    std::locale german;
    try {
        german = std::locale(grouping);
    } catch (const std::runtime_error&) {
        GTEST_SKIP() << grouping << " is not installed here";
    }
    const std::locale saved = std::locale::global(german);
    PAL::Message message(1);
    message.add(I64{1234567}).add(U32{4000000000u}, 0, 16, true);
    std::locale::global(saved);
    EXPECT_EQ(message.args, (std::vector<std::wstring>{L"1234567", L"0xee6b2800"}));
}

TEST(MessageAdd, ChainsOnTheSameMessage) {
    PAL::Message message(0x4C0336B1u);
    PAL::Message& result = message.add(std::wstring(L"a")).add(I32{1}).add(U64{2});
    EXPECT_EQ(&result, &message);
    EXPECT_EQ(message.args, (std::vector<std::wstring>{L"a", L"1", L"2"}));
}

} // namespace
