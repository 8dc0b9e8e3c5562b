#include "reader_access.h"

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

namespace {

using namespace orvoeng;

// A read takes 1024 bytes. With no line feed among the first 1023, the last is
// kept for the next call; a feed that is the 1024th byte is consumed unseen.
TEST(ReadLineTest, SplitsAtLineFeedsAndReadBoundaries) {
    const auto xs = [](std::size_t n) { return std::string(n, 'x'); };
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"ab\n\ncd", {"ab\n", "\n", "cd"}},
        {xs(1022) + "\nnext\n", {xs(1022) + "\n", "next\n"}},
        {xs(1023) + "\nnext\n", {xs(1023), "next\n"}},
        {xs(1024) + "\nnext\n", {xs(1023), "x\n", "next\n"}},
        {xs(1024), {xs(1023), "x"}},
        {xs(2500) + "\n", {xs(1023), xs(1023), xs(454) + "\n"}},
        {std::string("ab\0cd\nef\n", 9), {"ab", "ef\n"}}, // a NUL ends the line's text
    };
    for (const auto& [content, expected] : cases) {
        fixture::TempDir dir;
        MzXMLReader reader;
        ASSERT_TRUE(ReaderAccess::open_file(reader, dir.write("f.txt", content).wstring()));
        std::vector<std::string> lines;
        std::string line = "sentinel";
        while (reader.read_line(line))
            lines.push_back(line);
        EXPECT_EQ(lines, expected) << content.size() << " bytes";
        EXPECT_EQ(line, "");
    }
}

// 'a': find_attribute or 'e': find_element_text, the text, the name, and the
// value found, or "-" for none (the value is then left as it was).
TEST(TagSearchTest, FindsAttributesAndElementTexts) {
    const std::tuple<char, std::string, std::string, std::string> cases[] = {
        {'a', R"(<msRun scanCount="12">)", "Count", "12"}, // the tail of a longer name
        {'a', R"(<a b="" b="2">)", "b", ""},
        {'a', R"(<scan num="7 msLevel=1>)", "num", "-"}, // no closing quote
        {'a', "<scan num=", "num", "-"},                 // name and "=" end the text
        {'a', "<scan num=\"", "num", "-"},
        {'e', R"(<offset id="1">4711</offset>)", "offset", "4711"},
        {'e', R"(<offset id="1"></offset>)", "offset", "-"}, // empty text
        {'e', R"(<offset id="1"/>)", "offset", "-"},         // empty-element tag
        {'e', "<offset", "offset", "-"},
    };
    for (const auto& [function, text, name, expected] : cases) {
        std::string value = "-";
        const bool found =
            (function == 'a' ? find_attribute : find_element_text)(text, name, value);
        EXPECT_EQ(value, expected) << text;
        EXPECT_EQ(found, expected != "-") << text;
    }
}

// The searches stop at markup bytes instead of scanning every byte; on texts
// dense with those bytes and with letters they must find what the plain
// definitions find: the first occurrence, and the first "name=" for a value.
TEST(TagSearchTest, FastSearchesFindWhatPlainSearchesFind) {
    std::mt19937 random(7);
    const auto text_of = [&](std::size_t size) {
        static constexpr char bytes[] = "<=\" a/b";
        std::string text(size, ' ');
        for (char& c : text)
            c = bytes[random() % (sizeof bytes - 1)];
        return text;
    };
    for (int round = 0; round < 20000; ++round) {
        const std::string text = text_of(random() % 40);
        const std::string what = text_of(1 + random() % 4);
        const std::size_t from = random() % 42;
        ASSERT_EQ(find_text(text, what, from),
                  from > text.size() ? std::string::npos : text.find(what, from))
            << text << " / " << what << " from " << from;
        const std::size_t at = text.find(what + "=");
        std::string_view value;
        const bool plain = at != std::string::npos && at + what.size() + 2 <= text.size() &&
                           text.find('"', at + what.size() + 2) != std::string::npos;
        ASSERT_EQ(attribute_view(text, what, value), plain) << text << " / " << what;
    }
}

} // namespace
