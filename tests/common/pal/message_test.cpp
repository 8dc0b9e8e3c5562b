#include <pal/exception.h>
#include <pal/message.h>

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <limits>
#include <locale>

namespace {

TEST(Message, IdentifierZeroIsRefused) {
    try {
        PAL::Message message(0);
        ADD_FAILURE() << "identifier 0 was accepted";
    } catch (const PAL::AssertFailure& e) {
        EXPECT_EQ(e.text, L"msg_id is 0");
        EXPECT_STREQ(e.file, "msgcatalog");
    }
}

using I32 = std::int32_t;
using I64 = long long;
#define ADD(...) [](PAL::Message& m) -> PAL::Message& { return m.add(__VA_ARGS__); }

// One message takes every case in turn, so a format leaking into a later argument shows;
// digits are never grouped, whatever the global locale.
TEST(MessageAdd, FormatsEveryFormAndChains) {
    const std::pair<PAL::Message& (*)(PAL::Message&), std::wstring> cases[] = {
        {ADD(std::wstring(L"abc"), 5), L"  abc"},
        {ADD(std::wstring(), 3), L"   "},
        {ADD(I32{-42}, 5), L"  -42"},
        {ADD(I32{255}, 6, 16, true), L"  0xff"},
        {ADD(I32{255}, 0, 16, false), L"ff"},
        {ADD(I32{8}, 0, 8, true), L"010"},
        {ADD(I32{255}, 0, 2, true), L"255"},
        {ADD(I32{0}, 0, 16, true), L"0"},
        {ADD(4000000000ul), L"4000000000"},
        {ADD(-5l), L"-5"},
        {ADD(std::uint32_t{0xFFFFFFFFu}, 0, 16, true), L"0xffffffff"},
        {ADD(std::numeric_limits<I32>::min()), L"-2147483648"},
        {ADD(std::numeric_limits<I64>::min()), L"-9223372036854775808"},
        {ADD(std::numeric_limits<I64>::max(), 0, 16, true), L"0x7fffffffffffffff"},
        {ADD(std::numeric_limits<unsigned long long>::max()), L"18446744073709551615"},
    };
    for (const char* global : {"C", "de_DE.UTF-8"}) {
        if (!fixture::has_locale(global))
            continue;
        const std::locale saved = std::locale::global(std::locale(global));
        PAL::Message message(1);
        for (const auto& [add, expected] : cases) {
            EXPECT_EQ(&add(message), &message);
            EXPECT_EQ(message.args.back(), expected) << global;
        }
        EXPECT_EQ(message.args.size(), std::size(cases));
        std::locale::global(saved);
    }
}

} // namespace
