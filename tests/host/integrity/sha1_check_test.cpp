#include <host/integrity/sha1_check.h>

#include "support/mzxml_fixture.h"
#include "support/sha1_hex.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <optional>

namespace {

using orvohost::check_sha1;
using orvohost::SHA1_CHECK_BLOCK;
using orvohost::Sha1Result;

using fixture::sha1_hex;

const std::string HEAD = "<?xml version=\"1.0\"?>\n<mzXML>\n";

// A file: HEAD, `early`, blanks, `before`, then "<sha1>" at offset `at`
// followed by `after` and the end of the document. In `after` and `stated`,
// '@' stands for the true digest of the bytes up to "<sha1>", '^' for it
// upper-cased.
struct Case {
    const char* name;
    std::size_t at;
    std::string early;
    std::string before;
    std::optional<std::string> after; // no element at all when absent
    bool change_first_byte;           // after the digest was taken
    Sha1Result::State state;
    std::string stated;
};

std::string with_digest(std::string text, const std::string& digest) {
    std::string upper = digest;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (std::size_t i; (i = text.find_first_of("@^")) != std::string::npos;)
        text.replace(i, 1, text[i] == '@' ? digest : upper);
    return text;
}

std::string repeat(const std::string& text, std::size_t times) {
    std::string out;
    while (times-- > 0)
        out += text;
    return out;
}

constexpr std::size_t B = SHA1_CHECK_BLOCK;
const std::string GOOD = "@</sha1>";
const std::string DECOY = "<!-- <sha1>0</sha1> -->";
constexpr auto MATCHES = Sha1Result::MATCHES;
constexpr auto STALE = Sha1Result::STALE;

const Case CASES[] = {
    {"matches", 100, "", "</msRun>\n", GOOD, false, MATCHES, "@"},
    {"upper_case_and_blanks", 100, "", "", " ^\n</sha1>", false, MATCHES, "@"},
    {"one_byte_changed", 100, "", "", GOOD, true, STALE, "@"},
    {"absent", 100, "", "</msRun>", std::nullopt, false, Sha1Result::ABSENT, ""},
    {"last_one_counts", 200, "", DECOY, GOOD, false, MATCHES, "@"},
    {"last_one_counts_next_block", B + 100, DECOY, "", GOOD, false, MATCHES, "@"},
    {"not_a_digest", 100, "", "", "  not a digest </sha1>", false, STALE, "not a digest"},
    {"digest_too_short", 100, "", "", "0123456789</sha1>", false, STALE, "0123456789"},
    {"unclosed", 100, "", "", "@", false, STALE, "@"},
    // Cut to 64 bytes, less when that would split a two-byte character.
    {"long_text_cut", 100, "", "", "z" + repeat("\u00e9", 50) + "</sha1>", false, STALE,
     "z" + repeat("\u00e9", 31)},
    // Across the first block boundary: the tag split after each of its
    // characters, ending exactly there, the digest split, and a partial tag
    // that restarts at the next '<'.
    {"split_after_1", B - 1, "", "", GOOD, false, MATCHES, "@"},
    {"split_after_5", B - 5, "", "", GOOD, false, MATCHES, "@"},
    {"tag_ends_block", B - 6, "", "", GOOD, false, MATCHES, "@"},
    {"digest_split", B - 26, "", "", GOOD, false, MATCHES, "@"},
    {"partial_restart", B - 2, "", "<sh", GOOD, false, MATCHES, "@"},
};

TEST(Sha1Check, StatesWhatTheBytesGive) {
    for (const Case& c : CASES) {
        SCOPED_TRACE(c.name);
        const std::size_t blanks = c.at - HEAD.size() - c.early.size() - c.before.size();
        std::string prefix = HEAD + c.early + std::string(blanks, ' ') + c.before;
        const bool element = c.after.has_value();
        if (element)
            prefix += "<sha1>";
        const std::string digest = sha1_hex(prefix);
        std::string content =
            prefix + (element ? with_digest(*c.after, digest) : "") + "\n</mzXML>\n";
        if (c.change_first_byte)
            content[0] = '?';
        const fixture::TempDir dir;
        const Sha1Result result = check_sha1(dir.write("file.mzXML", content));

        EXPECT_EQ(result.state, c.state);
        EXPECT_EQ(result.stated, with_digest(c.stated, digest));
        EXPECT_EQ(result.computed, element ? sha1_hex(content.substr(0, prefix.size())) : "");
        EXPECT_EQ(result.error, "");
    }
}

TEST(Sha1CheckFile, UnreadableSaysWhy) {
    const fixture::TempDir dir;
    for (const auto& path : {dir.path() / "missing.mzXML", dir.path()}) {
        const Sha1Result result = check_sha1(path);
        EXPECT_EQ(result.state, Sha1Result::UNREADABLE) << path;
        EXPECT_NE(result.error, "") << path;
        EXPECT_EQ(result.computed, "") << path;
    }
}

TEST(Sha1CheckFile, CorpusFiles) {
    const std::filesystem::path corpus = fixture::corpus_dir();
    if (corpus.empty())
        GTEST_SKIP() << "corpus folder absent (set ORVO_CORPUS_DIR): real files not checked";
    const struct {
        const char* file;
        Sha1Result::State state;
        const char* stated;
    } files[] = {
        {"readmzxmldata__A1-0_A1.mzXML", Sha1Result::MATCHES,
         "cd2078828aacfeb5c3583df068530c2116d10a1f"},
        {"msnbase__dummyiTRAQ.mzXML", Sha1Result::STALE,
         "8f01f48c59d6bcd1d06e558036241457419dc9fc"},
    };
    for (const auto& f : files) {
        std::ifstream in(corpus / f.file, std::ios::binary);
        ASSERT_TRUE(in) << f.file;
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        const Sha1Result result = check_sha1(corpus / f.file);
        EXPECT_EQ(result.state, f.state) << f.file;
        EXPECT_EQ(result.stated, f.stated) << f.file;
        EXPECT_EQ(result.computed, sha1_hex(bytes.substr(0, bytes.rfind("<sha1>") + 6))) << f.file;
    }
}

} // namespace
