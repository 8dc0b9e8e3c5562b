#include "mzXMLReader.h"

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

namespace {

// A read takes 1024 bytes. Without a line feed among the first 1023 the last
// byte is kept for the next call, never dropped; a feed that is the 1024th
// byte is consumed unseen. A NUL ends a line's text. The end of the file
// empties the line.
TEST(ReadLineTest, SplitsAtLineFeedsAndReadBoundaries) {
    const auto xs = [](std::size_t n) { return std::string(n, 'x'); };
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"ab\n\ncd", {"ab\n", "\n", "cd"}},
        {xs(1022) + "\nnext\n", {xs(1022) + "\n", "next\n"}},
        {xs(1023) + "\nnext\n", {xs(1023), "next\n"}},
        {xs(1024) + "\nnext\n", {xs(1023), "x\n", "next\n"}},
        {xs(1024), {xs(1023), "x"}},
        {xs(2500) + "\n", {xs(1023), xs(1023), xs(454) + "\n"}},
        {std::string("ab\0cd\nef\n", 9), {"ab", "ef\n"}},
    };
    for (const auto& [content, expected] : cases) {
        fixture::TempDir dir;
        MzXMLReader reader;
        ASSERT_TRUE(reader.file.open_read(dir.write("f.txt", content).wstring()));
        std::vector<std::string> lines;
        std::string line = "sentinel";
        while (reader.read_line(line))
            lines.push_back(line);
        EXPECT_EQ(lines, expected) << content.size() << " bytes";
        EXPECT_EQ(line, "");
    }
}

} // namespace
