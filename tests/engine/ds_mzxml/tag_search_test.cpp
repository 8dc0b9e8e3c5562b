#include "mzXMLReader.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

struct SearchCase {
    const char* text;
    const char* name;
    std::optional<std::string> expected; // nullopt: not found
};

TEST(TagSearchTest, FindAttribute) {
    const SearchCase cases[] = {
        {R"(<msRun scanCount="12" startTime="PT0S">)", "scanCount", "12"},
        {R"(<msRun scanCount="12" startTime="PT0S">)", "Count", "12"}, // tail of a longer name
        {R"(<scan num="7" msLevel="1">)", "msLevel", "1"},
        {R"(<scan num="" msLevel="1">)", "num", ""},
        {R"(<scan num='7'>)", "num", std::nullopt},          // only " closes a value
        {R"(<scan num="7 msLevel=1>)", "num", std::nullopt}, // no closing quote
        {R"(<scan num = "7">)", "num", std::nullopt},        // nothing may stand before =
        {"<scan num=", "num", std::nullopt},                 // ends at "="
        {"<scan num=\"", "num", std::nullopt},               // ends at the opening quote
        {R"(<index name="scan">)", "name", "scan"},
        {R"(<a b="1" b="2">)", "b", "1"}, // the first occurrence
    };
    for (const auto& c : cases) {
        std::string value = "untouched";
        const bool found = find_attribute(c.text, c.name, value);
        EXPECT_EQ(found, c.expected.has_value()) << c.text << " / " << c.name;
        EXPECT_EQ(value, c.expected.value_or("untouched")) << c.text << " / " << c.name;
    }
}

TEST(TagSearchTest, FindElementText) {
    const SearchCase cases[] = {
        {R"(<offset id="1">4711</offset>)", "offset", "4711"},
        {"<indexOffset>901</indexOffset>\n", "indexOffset", "901"},
        {R"(<offsetX id="1">4711</offsetX>)", "offset", std::nullopt}, // only a prefix
        {R"(<offset id="1"></offset>)", "offset", std::nullopt},       // empty text
        {"<offset>4711\n", "offset", "4711\n"},                        // no closing tag
        {"<offset", "offset", std::nullopt},                           // name ends the text
        {"<offset id=\"1\"", "offset", std::nullopt},                  // no ">"
        {R"(<offset id="1"/>)", "offset", std::nullopt},               // nothing after ">"
        {"<precursorMz precursorCharge=\"2\">445.34</precursorMz>", "precursorMz", "445.34"},
    };
    for (const auto& c : cases) {
        std::string value = "untouched";
        const bool found = find_element_text(c.text, c.name, value);
        EXPECT_EQ(found, c.expected.has_value()) << c.text;
        EXPECT_EQ(value, c.expected.value_or("untouched")) << c.text;
    }
}

TEST(TagSearchTest, FindStartTag) {
    const SearchCase cases[] = {
        {R"(<software type="conversion" name="x" version="1"/>)", "software",
         R"(software type="conversion" name="x" version="1"/)"},
        {R"(<msRun scanCount="2">)", "msRun", R"(msRun scanCount="2")"},
        {R"(<softwareX a="1">)", "software", R"(softwareX a="1")"}, // no check after the name
        {R"(<msRun scanCount="2")", "msRun", ""},                   // no ">"
        {"no tag here", "software", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(find_start_tag(c.text, c.name), *c.expected) << c.text;
}

TEST(TagSearchTest, TrueValuesAreExact) {
    for (const char* yes : {"1", "true", "TRUE"})
        EXPECT_TRUE(is_true_value(yes)) << yes;
    for (const char* no : {"True", "0", "false", "", " 1", "yes", "true "})
        EXPECT_FALSE(is_true_value(no)) << no;
}

} // namespace
