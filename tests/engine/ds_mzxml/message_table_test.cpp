// The shared table of message identifiers: the host's catalog keys its texts
// by identifier and by name, so neither may stand twice.
#include <ds/messages.h>

#include <gtest/gtest.h>

namespace {

// Each lookup finds the first entry, so a second one with the same key is not found.
TEST(MessageTable, NamesAndIdentifiersAreUnique) {
    for (const orvoeng::msg::MessageDef& def : orvoeng::msg::ALL) {
        EXPECT_EQ(orvoeng::msg::find(def.id), &def) << def.name;
        EXPECT_EQ(orvoeng::msg::find_name(def.name), &def) << def.name;
    }
    EXPECT_EQ(orvoeng::msg::find(0x12345678), nullptr); // an identifier of no message
}

} // namespace
