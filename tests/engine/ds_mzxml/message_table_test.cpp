// The shared table of message identifiers keeps the layout the host's
// catalog and every engine rely on.
#include <ds/messages.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using orvoeng::msg::MessageDef;

std::uint32_t facility(std::uint32_t id) {
    return (id >> 16) & 0x0FFF;
}

TEST(MessageTable, NamesAndIdentifiersAreUnique) {
    std::set<std::string_view> names;
    std::set<std::uint32_t> ids;
    for (const MessageDef& def : orvoeng::msg::ALL) {
        EXPECT_TRUE(names.insert(def.name).second) << def.name;
        EXPECT_TRUE(ids.insert(def.id).second) << def.name;
        EXPECT_EQ(orvoeng::msg::find(def.id), &def);
    }
    EXPECT_EQ(orvoeng::msg::find(0x12345678), nullptr);
}

// Errors: 0xC8 on top, facility 0x802 or 0x801, an HRESULT of facility 4
// sharing the low byte (0xC8020003 shares the code of 0xC8020002).
// Events: level 1 carries 0xCC in facility 0xC02, levels 4 to 7 carry 0x4C
// in facility 0xC02 or 0xC03.
TEST(MessageTable, IdentifiersCodesAndLevelsFollowTheMessageTableLayout) {
    for (const MessageDef& def : orvoeng::msg::ALL) {
        SCOPED_TRACE(std::string(def.name));
        if (def.is_error()) {
            EXPECT_EQ(def.level, 0u);
            EXPECT_EQ(def.id >> 24, 0xC8u);
            EXPECT_TRUE(facility(def.id) == 0x802 || facility(def.id) == 0x801);
            EXPECT_EQ(def.code >> 16, 0x8004u);
            const std::uint32_t block = facility(def.id) == 0x802 ? 0x0800 : 0x0400;
            EXPECT_EQ(def.code & 0xFF00, block);
            if (def.id == 0xC8020003)
                EXPECT_EQ(def.code, 0x80040802u);
            else
                EXPECT_EQ(def.code & 0xFF, def.id & 0xFF);
        } else if (def.level == 1) {
            EXPECT_EQ(def.id >> 24, 0xCCu);
            EXPECT_EQ(facility(def.id), 0xC02u);
        } else {
            EXPECT_GE(def.level, 4u);
            EXPECT_LE(def.level, 7u);
            EXPECT_EQ(def.id >> 24, 0x4Cu);
            EXPECT_TRUE(facility(def.id) == 0xC02 || facility(def.id) == 0xC03);
        }
    }
}

} // namespace
