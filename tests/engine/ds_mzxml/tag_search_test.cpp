#include "mzXMLReader.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

// 'a': find_attribute, 'e': find_element_text, 's': find_start_tag; then the
// text, the name and the value found: "-" when none is (the value is left as
// it was), or "" for find_start_tag.
TEST(TagSearchTest, FindsAttributesElementTextsAndStartTags) {
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
        {'s', R"(<software type="c"/>)", "software", R"(software type="c"/)"},
        {'s', R"(<msRun scanCount="2")", "msRun", ""}, // no ">"
    };
    for (const auto& [function, text, name, expected] : cases) {
        std::string value = "-";
        const bool found =
            function == 's'
                ? !(value = find_start_tag(text, name)).empty()
                : (function == 'a' ? find_attribute : find_element_text)(text, name, value);
        EXPECT_EQ(value, expected) << text;
        EXPECT_EQ(found, expected != "-" && (function != 's' || !expected.empty())) << text;
    }
}

} // namespace
