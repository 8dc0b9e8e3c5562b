#include "mzXMLReader.h"

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// All lines read_line returns for a file holding `content`, in order.
std::vector<std::string> lines_of(const std::string& content) {
    fixture::TempDir dir;
    MzXMLReader reader;
    EXPECT_TRUE(reader.file.open_read(dir.write("f.txt", content).wstring()));
    std::vector<std::string> lines;
    std::string line = "sentinel";
    while (reader.read_line(line))
        lines.push_back(line);
    EXPECT_EQ(line, "") << "the end of the file empties the line";
    return lines;
}

using Lines = std::vector<std::string>;

TEST(ReadLineTest, SplitsAtLineFeedsAndReadBoundaries) {
    const std::string x1022(1022, 'x'), x1023(1023, 'x'), x1024(1024, 'x');
    struct Case {
        const char* what;
        std::string content;
        Lines expected;
    };
    const Case cases[] = {
        {"plain lines", "ab\ncd\n", {"ab\n", "cd\n"}},
        {"empty lines", "\n\nz\n", {"\n", "\n", "z\n"}},
        {"last line without feed", "ab\ncd", {"ab\n", "cd"}},
        {"one byte", "x", {"x"}},
        {"empty file", "", {}},
        {"1022 bytes and feed", x1022 + "\nnext\n", {x1022 + "\n", "next\n"}},
        // The feed is the 1024th byte: consumed, not returned.
        {"1023 bytes and feed", x1023 + "\nnext\n", {x1023, "next\n"}},
        // No feed in a full read: the last byte comes back with the next call.
        {"1024 bytes and feed", x1024 + "\nnext\n", {x1023, "x\n", "next\n"}},
        {"1024 bytes at the end", x1024, {x1023, "x"}},
        {"1023 bytes at the end", x1023, {x1023}},
        // A NUL ends the text of a line; the bytes after it are skipped.
        {"embedded NUL", std::string("ab\0cd\nef\n", 9), {"ab", "ef\n"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lines_of(c.content), c.expected) << c.what;
}

// Long stretches without a line feed come back in 1023-byte pieces that
// join to the exact bytes of the file: nothing is lost at read boundaries.
// Only a line feed that is the 1024th byte of a read is consumed unseen,
// which happens after lines whose length is a multiple of 1023.
TEST(ReadLineTest, PiecesJoinToTheWholeFile) {
    std::mt19937 random(20240607);
    std::string content, expected;
    std::size_t run = 0; // bytes since the last line feed
    for (int i = 0; i < 80; ++i) {
        std::size_t length = std::uniform_int_distribution<std::size_t>(0, 3500)(random);
        if (i % 10 == 3)
            length = 1023 * (1 + i % 3);
        const std::string line(length, static_cast<char>('a' + i % 26));
        content += line;
        expected += line;
        run += length;
        if (i % 7 == 6)
            continue; // runs on into the next line
        content += '\n';
        if (run == 0 || run % 1023 != 0)
            expected += '\n';
        run = 0;
    }
    std::string joined;
    for (const auto& piece : lines_of(content)) {
        EXPECT_LE(piece.size(), MzXMLReader::LINE_BUFFER_SIZE - 1);
        joined += piece;
    }
    EXPECT_EQ(joined, expected);
}

TEST(ReadLineTest, FailedReadLeavesTheLine) {
    MzXMLReader reader; // no file open
    std::string line = "kept";
    EXPECT_FALSE(reader.read_line(line));
    EXPECT_EQ(line, "kept");
}

struct CollectCase {
    const char* what;
    std::string content;
    std::string expected;
};

TEST(ReadLineTest, CollectElementGathersFromOpeningToClosingLine) {
    // Pieces end every 1023 bytes; "</b>" starts two bytes before the second end.
    const std::string long_line = "<b>" + std::string(2044 - 3, 'v') + "</b>\n";
    const CollectCase cases[] = {
        {"one line", "x\n<a k=\"1\">t</a>\ny\n", "<a k=\"1\">t</a>\n"},
        {"several lines", "x\n<a>\n<c/>\n</a>\n<a>\n</a>\n", "<a>\n<c/>\n</a>\n"},
        {"no closing text", "<a>\n<c/>\nend", "<a>\n<c/>\nend"},
        {"no opening text", "x\n</a>\n", ""},
        // The closing text is looked for in new lines only.
        {"closing before opening", "</a> <a>\nq\n</a>\nz\n", "</a> <a>\n"},
        // A long line arrives in pieces; the closing text straddles two.
        {"long line", "<b>" + std::string(1017, 'v') + "</b>\n" + "z\n",
         "<b>" + std::string(1017, 'v') + "</b>\n"},
        {"piece boundary", long_line + "z\n", long_line},
    };
    for (const auto& c : cases) {
        fixture::TempDir dir;
        MzXMLReader reader;
        ASSERT_TRUE(reader.file.open_read(dir.write("f.txt", c.content).wstring()));
        std::string open_text = c.content.find("<b>") != std::string::npos ? "<b>" : "<a";
        std::string close_text = open_text == "<b>" ? "</b>" : "</a>";
        std::string text = "stale";
        reader.collect_element(open_text, close_text, text);
        EXPECT_EQ(text, c.expected) << c.what;
    }
}

} // namespace
