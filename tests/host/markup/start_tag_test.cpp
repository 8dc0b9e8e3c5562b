// A start tag's attributes found by whole name, and edits that leave every
// other byte of the tag as it was.
#include <host/markup/start_tag.h>
#include <host/markup/xml_text.h>

#include <gtest/gtest.h>

using orvohost::StartTag;

TEST(StartTag, FindsWholeNamesOnly) {
    const StartTag tag("<precursorMz precursorScanNum=\"19\" scanNum='7' num = \"3\">");
    EXPECT_EQ(tag.value("num"), "3");
    EXPECT_EQ(tag.value("scanNum"), "7");
    EXPECT_EQ(tag.value("precursorScanNum"), "19");
    EXPECT_FALSE(tag.value("Num"));
}

// Names are looked up again after each edit, in a tag of more attributes
// than one walk keeps, and before a fault that ends the attributes.
TEST(StartTag, FindsAfterEditsInLongAndBrokenTags) {
    std::string text = "<scan";
    for (int i = 0; i < 40; ++i)
        text += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    StartTag tag(text + ">");
    EXPECT_EQ(tag.value("a0"), "0");
    EXPECT_EQ(tag.value("a39"), "39");
    EXPECT_FALSE(tag.value("a40"));
    EXPECT_TRUE(tag.rename("a35", "b35"));
    EXPECT_FALSE(tag.value("a35"));
    EXPECT_EQ(tag.value("b35"), "35");
    tag.add("a40", "x");
    EXPECT_EQ(tag.value("a40"), "x");
    EXPECT_TRUE(tag.remove("a0"));
    EXPECT_FALSE(tag.value("a0"));
    EXPECT_TRUE(tag.set_value("a1", "one"));
    EXPECT_EQ(tag.value("a1"), "one");
    EXPECT_EQ(tag.value("a2"), "2");

    const StartTag broken("<peaks precision=\"32\" byteOrder network pairOrder=\"m/z-int\">");
    EXPECT_EQ(broken.value("precision"), "32");
    EXPECT_FALSE(broken.value("pairOrder"));
}

TEST(StartTag, EditsTouchNothingElse) {
    struct Case {
        const char* before;
        void (*edit)(StartTag&);
        const char* after;
    };
    const Case cases[] = {
        {"<scan num=\"19\"\n  msLevel=\"1\">", [](StartTag& t) { t.set_value("num", "1"); },
         "<scan num=\"1\"\n  msLevel=\"1\">"},
        {"<msRun>", [](StartTag& t) { t.add("scanCount", "2"); }, "<msRun scanCount=\"2\">"},
        {"<peaks precision=\"64\"/>", [](StartTag& t) { t.add("byteOrder", "network"); },
         "<peaks byteOrder=\"network\" precision=\"64\"/>"},
        {"<peaks\tcontentType=\"m/z-int\">",
         [](StartTag& t) { t.rename("contentType", "pairOrder"); },
         "<peaks\tpairOrder=\"m/z-int\">"},
        // The first attribute of a tag written over lines: the name keeps its
        // blank, which a text search for "<peaks " needs.
        {"<peaks compressionType=\"zlib\"\n       compressedLen=\"8\"\n       precision=\"64\">",
         [](StartTag& t) {
             t.remove("compressionType");
             t.remove("compressedLen");
         },
         "<peaks precision=\"64\">"},
        {"<peaks precision=\"64\" compressedLen=\"8\">",
         [](StartTag& t) { t.remove("compressedLen"); }, "<peaks precision=\"64\">"},
    };
    for (const auto& c : cases) {
        StartTag tag(c.before);
        c.edit(tag);
        EXPECT_EQ(tag.bytes(), c.after) << c.before;
    }
}

// A value read back as written escaped, and references that are none kept.
TEST(XmlText, UnescapedExpandsWhatEscapingWrites) {
    const std::string text = "A&B <\"r\u00e9p\"> 'x'";
    EXPECT_EQ(orvohost::xml_unescaped(orvohost::xml_escaped(text)), text);
    EXPECT_EQ(orvohost::xml_unescaped("&#233;&#xE9;&#x1F600;"), "\u00e9\u00e9\U0001F600");
    EXPECT_EQ(orvohost::xml_unescaped("&nbsp; &#xD800; &#; & &amp"), "&nbsp; &#xD800; &#; & &amp");
}
