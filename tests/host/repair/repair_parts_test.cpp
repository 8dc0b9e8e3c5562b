// The pieces of the repair that a wrong byte would break silently: the tag
// stream that must give back every byte of the file, the copy's chunks
// written and hashed in order, and the peak text inflation.
#include <host/base/base64_text.h>
#include <host/repair/copy_writer.h>
#include <host/repair/peak_text.h>
#include <host/repair/repair.h>
#include <host/repair/repair_error.h>
#include <host/repair/rewrite.h>
#include <host/repair/survey.h>
#include <host/repair/tag_reader.h>

#include <host/integrity/sha1_check.h>

#include <pal/string.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using namespace orvohost::repair;
using orvohost::base64_text;

namespace {

class TempFile {
public:
    explicit TempFile(const std::string& bytes)
        : path(std::filesystem::temp_directory_path() /
               ("repair_parts_" +
                std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    ~TempFile() { std::filesystem::remove(path); }
    std::filesystem::path path;
};

std::vector<Token> tokens_of(const std::filesystem::path& path, std::string& joined) {
    TagReader reader(path);
    std::vector<Token> tokens;
    for (Token token = reader.next(); token.kind != Token::END; token = reader.next()) {
        joined.append(token.bytes);
        if (token.kind == Token::TAG)
            tokens.push_back({token.kind, {}, token.offset});
    }
    return tokens;
}

} // namespace

TEST(TagReader, GivesBackEveryByteWithTagsWholeAcrossBlocks) {
    // Tags where a read ends (4 MiB is a whole number of reads), a '>' inside a quoted value,
    // markup whose inside looks like tags, and a comment longer than a read.
    const std::string filler((std::size_t{4} << 20) - 7, 'A');
    const std::string tag = "<scan num=\"1\" filterLine=\"a > b\">";
    const std::string text = filler + tag + "<!-- <scan> -->" + "<![CDATA[<peaks>]]>" + "x" +
                             std::string((std::size_t{4} << 20), 'B') + "<?pi <a> ?></scan>" +
                             "<!--" + std::string((std::size_t{9} << 20), '-') + "->" + "-->z";
    TempFile file(text);
    std::string joined;
    const auto tags = tokens_of(file.path, joined);
    EXPECT_EQ(joined, text);
    ASSERT_EQ(tags.size(), 6U);
    EXPECT_EQ(tags[0].offset, filler.size());
    EXPECT_EQ(tags[1].offset, filler.size() + tag.size());
}

TEST(CopyWriter, ConcurrentChunksAreWrittenAndHashedInOrder) {
    // Writes of every size, past the end of the ring of chunks and round it
    // again, then the digest of all of them where a file states it.
    const auto target =
        std::filesystem::temp_directory_path() /
        ("copy_writer_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::string expected;
    {
        CopyWriter out(target);
        for (std::size_t i = 0; expected.size() < (std::size_t{9} << 20); ++i) {
            const std::string piece(i % 7 == 0 ? CopyWriter::CHUNK_BYTES * 3 / 2 : i % 300,
                                    static_cast<char>('a' + i % 26));
            out.write(piece);
            expected += piece;
        }
        out.write("<sha1>");
        expected += "<sha1>";
        const std::string digest = out.digest();
        out.write(digest + "</sha1></mzXML>\n");
        expected += digest + "</sha1></mzXML>\n";
        EXPECT_EQ(out.position(), expected.size());
        out.commit();
    }
    std::string written;
    {
        std::ifstream in(target, std::ios::binary); // closed before the file is removed
        written.assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_TRUE(written == expected);
    EXPECT_EQ(orvohost::check_sha1(target).state, orvohost::Sha1Result::MATCHES);
    std::filesystem::remove(target);
}

// A small file with `scans` scans numbered from 7 and `middle` after the
// first half of them.
std::string run_of(int scans, const std::string& middle, const std::string& late_peaks = {}) {
    std::string text = "<?xml version=\"1.0\"?>\r\n<mzXML xmlns=\"http://sashimi.sourceforge.net/"
                       "schema_revision/mzXML_2.1\">\r\n<msRun scanCount=\"1\">\r\n";
    for (int i = 0; i < scans; ++i) {
        if (i == scans / 2)
            text += middle;
        text += "<scan num=\"" + std::to_string(i + 7) + "\" msLevel=\"1\"><peaks " +
                (i == scans - 2 ? late_peaks : "") + ">QUFB</peaks></scan>\r\n";
    }
    return text + "</msRun><sha1>0</sha1></mzXML>\r\n";
}

TEST(Survey, ConcurrentHalvesFindWhatOnePassFinds) {
    const auto one_and_two = [](const std::string& text) {
        TempFile file(text);
        const Survey one = survey_file(file.path, 1);
        const Survey two = survey_file(file.path, 2, 0);
        EXPECT_EQ(one.nums, two.nums);
        EXPECT_EQ(one.line_end, two.line_end);
        EXPECT_EQ(one.has_sha1, two.has_sha1);
        return one.nums.size();
    };
    EXPECT_EQ(one_and_two(run_of(1000, "")), 1000U);
    // The middle of the file inside a comment that holds tags: the second
    // half's guess is wrong and must not count them.
    const std::string fake(4000, 'x');
    EXPECT_EQ(one_and_two(run_of(40, "<!--" + fake + "<scan num=\"99\">" + fake + "-->")), 40U);
    // A refusal in the second half counts the scans before it from the start.
    TempFile refused(run_of(1000, "", "contentType=\"int\""));
    std::string messages[2];
    for (unsigned threads : {1U, 2U}) {
        try {
            survey_file(refused.path, threads, 0);
        } catch (const RepairRefused& refusal) {
            messages[threads - 1] = refusal.what();
        }
    }
    EXPECT_NE(messages[0].find("(scan 999)"), std::string::npos) << messages[0];
    EXPECT_EQ(messages[0], messages[1]);
    // The first line end after blanks of any length, a "\r\n" that a
    // block of the reader may cut in two: the copy's lines end as it does.
    const std::string declaration = "<?xml version=\"1.0\"?>";
    const std::string body = run_of(3, "").substr(declaration.size() + 2);
    for (const std::size_t at :
         {std::size_t{1} << 16, std::size_t{1} << 18, std::size_t{1} << 20}) {
        TempFile cut(declaration + std::string(at - 1 - declaration.size(), ' ') + "\r\n" + body);
        EXPECT_EQ(survey_file(cut.path, 1).line_end, "\r\n") << "\\r at " << at - 1;
    }
}

TEST(TagReader, ATagWithBrokenQuotesEndsAtItsFirstEnd) {
    // A quote left open would otherwise swallow the tags after it up to the
    // next quote that balances: the scan after it would be lost.
    const std::string broken = "<scan num=\"1\" lowMz=\"4\" h x=\"y=\"2\">";
    const std::string text = broken + "<peaks a=\"b\">AAAA</peaks></scan><scan num=\"2\">";
    TempFile file(text);
    std::string joined;
    const auto tags = tokens_of(file.path, joined);
    EXPECT_EQ(joined, text);
    ASSERT_EQ(tags.size(), 5U);
    EXPECT_EQ(tags[1].offset, broken.size());
}

TEST(TagReader, RefusesAFileCutInsideATag) {
    TempFile file("<mzXML><msRun><scan num=\"1");
    TagReader reader(file.path);
    EXPECT_EQ(tag_name(reader.next().bytes), "mzXML");
    EXPECT_EQ(tag_name(reader.next().bytes), "msRun");
    EXPECT_THROW(reader.next(), RepairRefused);
}

TEST(TagReader, NamesOfTags) {
    EXPECT_EQ(tag_name("<scan num=\"1\">"), "scan");
    EXPECT_EQ(tag_name("<scanOrigin/>"), "scanOrigin");
    EXPECT_EQ(tag_name("</msRun>"), "/msRun");
    EXPECT_EQ(tag_name("<peaks\n precision=\"32\">"), "peaks");
    EXPECT_EQ(tag_name("<!-- scan -->"), "");
    EXPECT_EQ(tag_name("<?xml version=\"1.0\"?>"), "");
}

TEST(PeakText, InflatesToThePlainBase64OfTheSameBytes) {
    const std::string values("\x40\x59\x00\x00\x00\x00\x00\x00\x40\x24\x00\x00\x00\x00\x00\x01",
                             16);
    std::vector<unsigned char> packed(compressBound(static_cast<uLong>(values.size())));
    uLongf size = static_cast<uLongf>(packed.size());
    ASSERT_EQ(compress(packed.data(), &size, reinterpret_cast<const Bytef*>(values.data()),
                       static_cast<uLong>(values.size())),
              Z_OK);
    std::string text = base64_text(packed.data(), size);
    const std::string plain =
        base64_text(reinterpret_cast<const unsigned char*>(values.data()), values.size());
    EXPECT_EQ(inflate_peak_text(text), plain);
    // White space anywhere, even inside a group of four, is no fault.
    text.insert(2, "\n ");
    EXPECT_EQ(inflate_peak_text(text), plain);
    EXPECT_EQ(inflate_peak_text(" \n"), " \n");
    EXPECT_FALSE(inflate_peak_text(base64_text(packed.data(), size - 3))) << "a cut stream";
    EXPECT_FALSE(inflate_peak_text("AAAAAAAA"));
    EXPECT_FALSE(inflate_peak_text("not*base64"));
    packed.resize(size);
    packed.push_back(0);
    EXPECT_FALSE(inflate_peak_text(base64_text(packed.data(), packed.size())))
        << "bytes after the stream";

    // One inflater for many texts, as a thread uses it, each appended after
    // the one before: a failure appends nothing and leaves it ready for the
    // next, and a stream a thousand times its packed size grows the buffer
    // it keeps.
    PeakInflater inflater;
    const std::string zeros(1 << 20, '\0');
    std::vector<unsigned char> deflated(compressBound(static_cast<uLong>(zeros.size())));
    uLongf deflated_size = static_cast<uLongf>(deflated.size());
    ASSERT_EQ(compress(deflated.data(), &deflated_size,
                       reinterpret_cast<const Bytef*>(zeros.data()),
                       static_cast<uLong>(zeros.size())),
              Z_OK);
    std::string texts = ">";
    EXPECT_FALSE(inflater.append_plain_text("AAAAAAAA", texts));
    EXPECT_TRUE(inflater.append_plain_text(base64_text(deflated.data(), deflated_size), texts));
    EXPECT_TRUE(inflater.append_plain_text(base64_text(packed.data(), size), texts));
    EXPECT_TRUE(texts == ">" +
                             base64_text(reinterpret_cast<const unsigned char*>(zeros.data()),
                                         zeros.size()) +
                             plain);
}

// A 3.x file of many zlib peak texts, one of them broken, and scans to
// renumber: inflated on four threads, the copy and the report are those of
// one thread, byte for byte and in order.
TEST(Repair, PeakTextsInflatedConcurrentlyGiveTheCopyOfOneThread) {
    std::string text = "<?xml version=\"1.0\"?>\n<mzXML xmlns=\"http://sashimi.sourceforge.net/"
                       "schema_revision/mzXML_3.2\">\n<msRun scanCount=\"3\">\n";
    for (int i = 0; i < 3000; ++i) {
        std::string values(static_cast<std::size_t>(8 * (i % 50)), static_cast<char>(i));
        std::vector<unsigned char> packed(compressBound(static_cast<uLong>(values.size())));
        uLongf size = static_cast<uLongf>(packed.size());
        ASSERT_EQ(compress(packed.data(), &size, reinterpret_cast<const Bytef*>(values.data()),
                           static_cast<uLong>(values.size())),
                  Z_OK);
        const std::string peaks = i == 1234 ? "broken" : base64_text(packed.data(), size);
        text += "<scan num=\"" + std::to_string(i + 5) +
                "\" msLevel=\"1\" peaksCount=\"1\">\n<peaks precision=\"32\" "
                "compressionType=\"zlib\" compressedLen=\"" +
                std::to_string(size) + "\">" + peaks + "</peaks>\n</scan>\n";
    }
    TempFile file(text + "</msRun>\n<sha1>0</sha1>\n</mzXML>\n");
    const auto repaired = [&](unsigned threads, RepairReport& report) {
        const auto target = std::filesystem::path(file.path).concat("." + std::to_string(threads));
        {
            CopyWriter out(target);
            report = repair_file(file.path, out, {}, threads);
            out.commit();
        }
        std::ifstream in(target, std::ios::binary);
        std::string bytes{std::istreambuf_iterator<char>(in), {}};
        in.close();
        std::filesystem::remove(target);
        return bytes;
    };
    RepairReport one;
    RepairReport four;
    const std::string copy = repaired(1, one);
    EXPECT_TRUE(repaired(4, four) == copy);
    EXPECT_EQ(one.decompressed, 2999U);
    EXPECT_EQ(four.decompressed, one.decompressed);
    EXPECT_EQ(four.undecodable, std::vector<std::uint64_t>{1235});
    EXPECT_EQ(describe(four), describe(one));
}

// `scans` scans numbered from `first`, each naming the first as its
// precursor, an index of `indexed` offsets and a digest, `after` after it.
std::string indexed_run(int scans, int first, int indexed, const std::string& after = {}) {
    std::string text = "<?xml version=\"1.0\"?>\n<mzXML xmlns=\"http://sashimi.sourceforge.net/"
                       "schema_revision/mzXML_2.1\">\n<msRun scanCount=\"" +
                       std::to_string(scans) + "\">\n";
    for (int i = 0; i < scans; ++i)
        text += "<scan num=\"" + std::to_string(first + i) + "\"><precursorMz precursorScanNum=\"" +
                std::to_string(first) + "\">5</precursorMz><peaks>QUFB</peaks></scan>\n";
    text += "</msRun>\n";
    const std::size_t index_at = text.size();
    text += "<index name=\"scan\">";
    for (int i = 1; i <= indexed; ++i)
        text += "<offset id=\"" + std::to_string(i) + "\">0</offset>";
    return text + "</index>\n<indexOffset>" + std::to_string(index_at) +
           "</indexOffset>\n<sha1>0</sha1>" + after + "\n</mzXML>\n";
}

TEST(Repair, ACopyWrittenOnTheIndexsWordIsTheCopyOfTheSurvey) {
    // The copy is written while the file is surveyed when its index counts
    // the scans; where the guess is wrong (scans numbered otherwise, an
    // index that counts too few or too many, a digest far from the end) it
    // is written again. Each comes out as written after a survey, and every
    // scan is mapped once.
    const std::string far(70000, '-');
    for (const auto& [text, renumbered] : {std::pair{indexed_run(50, 1, 50), false},
                                           {indexed_run(50, 7, 50), true},
                                           {indexed_run(50, 1, 40), false},
                                           {indexed_run(50, 1, 60), false},
                                           {indexed_run(50, 1, 50, "<!--" + far + "-->"), false}}) {
        TempFile file(text);
        for (unsigned threads : {1U, 3U}) {
            const auto target = std::filesystem::path(file.path).concat(".copy");
            const auto copy_of = [&](bool surveyed, std::string& mapped) {
                RepairReport report;
                const ScanMapSink map = [&](std::uint64_t position, std::string_view num) {
                    mapped += std::to_string(position) + "=" + std::string(num) + " ";
                };
                {
                    CopyWriter out(target);
                    if (surveyed) {
                        const Survey survey = survey_file(file.path);
                        out.set_hashing(survey.has_sha1);
                        rewrite_file(file.path, survey, out, map, report, threads);
                    } else {
                        report = repair_file(file.path, out, map, threads);
                    }
                    out.commit();
                }
                std::ifstream in(target, std::ios::binary);
                const std::string bytes{std::istreambuf_iterator<char>(in), {}};
                in.close();
                std::filesystem::remove(target);
                return bytes + "\n" + describe(report);
            };
            std::string expected_map;
            std::string mapped;
            const std::string expected = copy_of(true, expected_map);
            EXPECT_TRUE(copy_of(false, mapped) == expected) << threads << "\n" << expected;
            EXPECT_EQ(mapped, expected_map);
            EXPECT_EQ(expected.find("renumbered 50 scans from 7, 50 precursor scan references") !=
                          std::string::npos,
                      renumbered);
        }
    }
}

TEST(PeakText, Base64IsTheStandardOneAndReadsBackThroughThePlatformDecoder) {
    const auto encode = [](std::string_view text) {
        return base64_text(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    };
    // The test vectors of RFC 4648, section 10.
    for (const auto& [text, expected] : {std::pair{"", ""},
                                         {"f", "Zg=="},
                                         {"fo", "Zm8="},
                                         {"foo", "Zm9v"},
                                         {"foob", "Zm9vYg=="},
                                         {"fooba", "Zm9vYmE="},
                                         {"foobar", "Zm9vYmFy"}})
        EXPECT_EQ(encode(text), expected) << text;
    // Every byte value at every place of a group and every tail length: the
    // reader's own decoder gives back the bytes.
    std::string bytes;
    for (int i = 0; i < 256 + 3; ++i)
        bytes += static_cast<char>((i * 7) & 0xFF);
    for (std::size_t length = 0; length <= bytes.size(); length += length < 12 ? 1 : 61) {
        const std::string text = encode(std::string_view(bytes).substr(0, length));
        std::string decoded(length + 3, '\0');
        decoded.resize(PAL::base64_decode_exact(text, "", decoded.size(), decoded.data()));
        EXPECT_EQ(decoded, bytes.substr(0, length)) << length;
    }
}
