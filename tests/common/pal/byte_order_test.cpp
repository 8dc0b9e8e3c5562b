#include <pal/exception.h>
#include <pal/memory.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <numeric>
#include <vector>

namespace {

using PAL::BIG_ENDIAN_ORDER;
using PAL::BYTE_ORDER_UNKNOWN;
using PAL::LITTLE_ENDIAN_ORDER;
using PAL::NATIVE_ORDER;

std::wstring assert_text(void (*call)()) {
    try {
        call();
    } catch (const PAL::AssertFailure& e) {
        return e.text;
    }
    return L"(nothing raised)";
}

TEST(ByteOrder, NativeIsLittleEndian) {
    struct Case {
        PAL::ByteOrder a, b;
        bool same;
    };
    const Case cases[] = {
        {NATIVE_ORDER, LITTLE_ENDIAN_ORDER, true},      {NATIVE_ORDER, BIG_ENDIAN_ORDER, false},
        {BIG_ENDIAN_ORDER, BIG_ENDIAN_ORDER, true},     {LITTLE_ENDIAN_ORDER, NATIVE_ORDER, true},
        {BIG_ENDIAN_ORDER, LITTLE_ENDIAN_ORDER, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PAL::same_byte_order(c.a, c.b), c.same) << c.a << " vs " << c.b;
    const std::uint16_t probe = 1;
    EXPECT_EQ(*reinterpret_cast<const std::uint8_t*>(&probe), 1) << "this machine is big-endian";
}

TEST(ByteOrder, UnknownOrderIsRejectedOnlyWhenThereIsWorkToDo) {
    EXPECT_EQ(assert_text([] { PAL::same_byte_order(BYTE_ORDER_UNKNOWN, NATIVE_ORDER); }),
              L"Unknown byte order");
    EXPECT_EQ(assert_text([] { PAL::same_byte_order(BIG_ENDIAN_ORDER, BYTE_ORDER_UNKNOWN); }),
              L"Unknown byte order");
    EXPECT_EQ(assert_text([] {
                  std::uint32_t unit = 0;
                  PAL::convert_byte_order(&unit, 4, 1, BYTE_ORDER_UNKNOWN, NATIVE_ORDER);
              }),
              L"Unknown byte order");

    std::array<std::uint8_t, 4> data{1, 2, 3, 4};
    PAL::convert_byte_order(data.data(), 1, 4, BYTE_ORDER_UNKNOWN, NATIVE_ORDER);
    PAL::convert_byte_order(data.data(), 4, 0, NATIVE_ORDER, BYTE_ORDER_UNKNOWN);
    EXPECT_EQ(data, (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
}

TEST(ByteOrder, ReversesEachUnitWhenOrdersDiffer) {
    for (std::size_t unit : {2u, 4u, 6u, 8u}) {
        std::vector<std::uint8_t> data(unit * 3);
        std::iota(data.begin(), data.end(), std::uint8_t{0});
        PAL::convert_byte_order(data.data(), unit, 3, BIG_ENDIAN_ORDER, NATIVE_ORDER);
        for (std::size_t u = 0; u < 3; ++u)
            for (std::size_t i = 0; i < unit; ++i)
                EXPECT_EQ(data[u * unit + i], u * unit + unit - 1 - i) << "unit size " << unit;
    }
}

TEST(ByteOrder, SameOrderOrSingleBytesChangeNothing) {
    std::array<std::uint8_t, 8> data{1, 2, 3, 4, 5, 6, 7, 8};
    const auto before = data;
    PAL::convert_byte_order(data.data(), 8, 1, BIG_ENDIAN_ORDER, BIG_ENDIAN_ORDER);
    PAL::convert_byte_order(data.data(), 4, 2, LITTLE_ENDIAN_ORDER, NATIVE_ORDER);
    PAL::convert_byte_order(data.data(), 1, 8, BIG_ENDIAN_ORDER, NATIVE_ORDER);
    EXPECT_EQ(data, before);
}

TEST(ByteOrder, OddUnitSizeIsRejectedOnlyWhenOrdersDiffer) {
    EXPECT_EQ(assert_text([] {
                  std::array<std::uint8_t, 3> unit{};
                  PAL::convert_byte_order(unit.data(), 3, 1, BIG_ENDIAN_ORDER, NATIVE_ORDER);
              }),
              L"unit_size not multiple of two");
    std::array<std::uint8_t, 3> unit{1, 2, 3};
    PAL::convert_byte_order(unit.data(), 3, 1, NATIVE_ORDER, LITTLE_ENDIAN_ORDER);
    EXPECT_EQ(unit, (std::array<std::uint8_t, 3>{1, 2, 3}));
}

} // namespace
