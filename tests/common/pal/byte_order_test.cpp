#include <pal/exception.h>
#include <pal/memory.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <tuple>
#include <vector>

namespace {

using namespace PAL;

// Bytes 0, 1, 2, ... reversed per unit or unchanged; bad orders or sizes matter only with work.
TEST(ByteOrder, ConvertsOnlyWhenOrdersDiffer) {
    const std::tuple<std::size_t, std::size_t, ByteOrder, ByteOrder, bool, std::wstring> cases[] = {
        {2, 3, BIG_ENDIAN_ORDER, NATIVE_ORDER, true, L""},
        {8, 2, LITTLE_ENDIAN_ORDER, BIG_ENDIAN_ORDER, true, L""},
        {1, 8, BIG_ENDIAN_ORDER, NATIVE_ORDER, false, L""},
        {4, 0, NATIVE_ORDER, BYTE_ORDER_UNKNOWN, false, L""},
        {3, 1, NATIVE_ORDER, LITTLE_ENDIAN_ORDER, false, L""},
        {4, 1, BYTE_ORDER_UNKNOWN, NATIVE_ORDER, false, L"Unknown byte order"},
        {3, 1, BIG_ENDIAN_ORDER, NATIVE_ORDER, false, L"unit_size not multiple of two"},
    };
    for (const auto& [unit, count, from, to, reversed, assertion] : cases) {
        std::vector<std::uint8_t> data(unit * (count ? count : 1));
        std::iota(data.begin(), data.end(), std::uint8_t{0});
        std::wstring raised;
        try {
            convert_byte_order(data.data(), unit, count, from, to);
        } catch (const AssertFailure& e) {
            raised = e.text;
        }
        EXPECT_EQ(raised, assertion) << "unit " << unit << " count " << count;
        for (std::size_t i = 0; i < data.size(); ++i)
            EXPECT_EQ(data[i], reversed ? i - i % unit + unit - 1 - i % unit : i) << unit << i;
    }
}

} // namespace

// The large-page hint and the request for pages must leave memory as it is:
// the list may already hold values (a reserve keeps what it moves), and
// ranges of any size or alignment, or none, are advised without harm.
TEST(LargePages, AdviceKeepsContents) {
    std::vector<std::uint32_t> list(5u << 20); // 20 MiB, several large pages
    for (std::size_t i = 0; i < list.size(); ++i)
        list[i] = static_cast<std::uint32_t>(i * 2654435761u);
    PAL::advise_large_pages(list.data(), list.size() * sizeof(list[0]));
    PAL::advise_large_pages(list.data() + 3, 1000);
    PAL::advise_large_pages(nullptr, 0);
    PAL::populate_pages(list.data() + 5, list.size() * sizeof(list[0]) - 40);
    PAL::populate_pages(nullptr, 0);
    for (std::size_t i = 0; i < list.size(); ++i)
        ASSERT_EQ(list[i], static_cast<std::uint32_t>(i * 2654435761u)) << i;
}

// A list of a large page or more starts on a large-page boundary, through
// growth too, and keeps its values; a smaller one is an ordinary block.
TEST(LargePages, LargeListsStartOnALargePage) {
    using Allocator = PAL::LargePageAllocator<std::int64_t>;
    constexpr std::size_t large = PAL::LARGE_PAGE_BYTES / sizeof(std::int64_t);
    std::vector<std::int64_t, Allocator> list;
    std::vector<std::int64_t> plain;
    for (std::size_t i = 0; i < large + 1000; ++i) {
        list.push_back(static_cast<std::int64_t>(i * 7));
        plain.push_back(static_cast<std::int64_t>(i * 7));
        if (list.capacity() >= large) {
            ASSERT_EQ(reinterpret_cast<std::uintptr_t>(list.data()) % PAL::LARGE_PAGE_BYTES, 0u)
                << list.capacity();
        }
    }
    EXPECT_TRUE(list == plain);
    plain.back() = -1;
    EXPECT_FALSE(list == plain);
    plain.pop_back();
    EXPECT_FALSE(list == plain);
    list.shrink_to_fit();
    list.resize(10);
    list.shrink_to_fit();
    EXPECT_TRUE(list == std::vector<std::int64_t>(plain.begin(), plain.begin() + 10));
    EXPECT_THROW(static_cast<void>(Allocator().allocate(SIZE_MAX / 4)), std::bad_array_new_length);
}
