#include <pal/exception.h>
#include <pal/string.h>

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <random>
#include <string_view>
#include <tuple>
#include <vector>

namespace {

using namespace PAL;
constexpr const char* WS = " \t\n\r";

// A call's value, or the code and offset of the StrDecodeError it raised (code 0: none).
template <class Call, class... Args>
auto run(Call call, Args... args) -> std::tuple<decltype(call(args...)), int, unsigned> {
    try {
        return {call(args...), 0, 0};
    } catch (const StrDecodeError& e) {
        return {{}, e.error, e.offset};
    }
}

// A failure gives the groups decoded before it as `bytes`; nothing is written past the capacity.
TEST(Base64, DecodesOrNamesTheCodeTextAndOffset) {
    using Case = std::tuple<std::string, std::string, int, unsigned, std::size_t, const char*>;
    const Case cases[] = {
        {"TWFu\r\nTWE= TQ==", "ManMaM", 0, 0, 64, WS},
        {"+/9A", "\xFB\xFF\x40", 0, 0, 64, WS},
        {"TWFuTWE=", "ManMa", 0, 0, 5, WS},
        {" TWFu", "", DECODE_ILLEGAL_CHARACTER, 0, 8, ""},
        {"TW\nFu", "", DECODE_ILLEGAL_CHARACTER, 2, 64, WS},
        {"TQ=A", "", DECODE_ILLEGAL_CHARACTER, 3, 64, WS},
        {"TWFu \xC3\xA9QQ", "Man", DECODE_ILLEGAL_CHARACTER, 5, 64, WS},
        {"TWFuTQ", "Man", DECODE_INPUT_EXHAUSTED, 4, 64, WS},
        {"TWFu====", "Man", DECODE_EXCESSIVE_PADDING, 6, 64, WS},
        {"TWFu", "", DECODE_OUTPUT_EXHAUSTED, 0, 2, WS},
        {"TWFu TWFu", "Man", DECODE_OUTPUT_EXHAUSTED, 5, 4, WS},
    };
    for (const auto& [text, bytes, code, at, capacity, skip] : cases) {
        std::string buffer(capacity + 8, '\xAA');
        const auto [written, error, offset] =
            run(base64_decode, text, skip, capacity, static_cast<void*>(buffer.data()));
        const std::string got = buffer.substr(0, error ? bytes.size() : written);
        EXPECT_EQ(std::tie(got, error, offset), std::tie(bytes, code, at)) << text;
        EXPECT_EQ(buffer.substr(capacity), std::string(8, '\xAA')) << "past the capacity: " << text;
    }
    std::wstring texts;
    for (std::int32_t code = 0; code < 8; ++code)
        texts += decode_error_text(code) + L"|";
    EXPECT_EQ(texts, L"No error|Input buffer exhausted|Output buffer exhausted|Illegal character|"
                     L"Excessive padding|Invalid escape sequence|Unescaped special character|"
                     L"Unknown error 7|");
    EXPECT_EQ(StrDecodeError(3, 12, 1, "test").description(),
              L"Decoding error: Illegal character (offset 12)");
}

TEST(Base64Units, WholeUnitsInNativeOrder) {
    std::uint32_t units[3] = {};
    EXPECT_EQ(base64_decode_ws("AAEC\nAwQF Bgc=", BIG_ENDIAN_ORDER, 4, 3, units), 2u);
    EXPECT_EQ(std::make_pair(units[0], units[1]), std::make_pair(0x00010203u, 0x04050607u));
    EXPECT_EQ(run([&] { return base64_decode_ws("AAAAAAAAAA==", BIG_ENDIAN_ORDER, 4, 3, units); }),
              std::make_tuple(0u, 1, 12u)); // seven bytes are not whole 4-byte units
}

// Where the first group that padding closes starts: no "=" stands before it.
TEST(Base64Units, TellWhereTheFirstPaddedGroupStarts) {
    std::uint8_t bytes[256] = {};
    const auto padded_at = [&](std::string_view text) {
        std::size_t at = 0;
        base64_decode_ws(text, BIG_ENDIAN_ORDER, 1, sizeof bytes, bytes, at);
        return at;
    };
    EXPECT_EQ(padded_at("AAEC\nAwQF"), std::string_view::npos);
    EXPECT_EQ(padded_at("AAEC AwQF Bg=="), 10u);
    EXPECT_EQ(padded_at("QQ==QUI=QUJD"), 0u); // padding may close groups before the last
    // Found also in a long run the vector blocks take, and set on a failure after it.
    std::string run(96, 'A');
    EXPECT_EQ(padded_at(run + "QUI=" + run), 96u);
    std::size_t at = 0;
    EXPECT_THROW(base64_decode_ws("QUI=QU", BIG_ENDIAN_ORDER, 1, sizeof bytes, bytes, at),
                 StrDecodeError);
    EXPECT_EQ(at, 0u);
}

// `max` comes from the file; sized by the text instead, the result or error must be the same.
TEST(Base64Vector, SameResultOrErrorAsAVectorSizedToTheMaximum) {
    const std::string three = fixture::encode_values({1, 2, 3}, 32);
    std::vector<float> huge;
    base64_decode_vector(three, BIG_ENDIAN_ORDER, 3, std::size_t{1} << 40, huge);
    EXPECT_EQ(huge, (std::vector<float>{1, 2, 3}));
    EXPECT_LT(huge.capacity(), 16u);
    for (const std::string& text : {std::string(), three, three + "=", " " + three + "\n",
                                    std::string("AAECAwQFBgc="), std::string("TW\nFu")})
        for (std::size_t min : {0u, 1u})
            for (std::size_t max : {0u, 1u, 3u, 9u}) {
                const auto sized = run([&] {
                    std::vector<float> units(max + 1);
                    units.resize(base64_decode_ws(text, BIG_ENDIAN_ORDER, 4, max, units.data()));
                    if (units.size() < min)
                        throw StrDecodeError(DECODE_INPUT_EXHAUSTED,
                                             static_cast<std::uint32_t>(text.size()), 1, "");
                    return units;
                });
                std::vector<float> units{9.0f};
                const auto bounded = run([&] {
                    base64_decode_vector(text, BIG_ENDIAN_ORDER, min, max, units);
                    return units;
                });
                EXPECT_EQ(bounded, sized) << text << " min " << min << " max " << max;
                EXPECT_EQ(units, std::get<0>(bounded)) << "a failure leaves the vector empty";
            }
}

// The vector path against the exact one: the same count or error, and the same bytes in the
// whole buffer, also after a failure and past the capacity. The text gets a buffer of its own
// size, so a sanitizer sees any read past it.
testing::AssertionResult same_as_exact(const std::string& text, const char* skip,
                                       std::size_t capacity) {
    const std::vector<char> alone(text.begin(), text.end());
    std::string fast(capacity + 8, '\xAA'), exact = fast;
    const auto got = run(base64_decode, std::string_view(alone.data(), alone.size()), skip,
                         capacity, static_cast<void*>(fast.data()));
    const auto want =
        run(base64_decode_exact, text, skip, capacity, static_cast<void*>(exact.data()));
    if (got == want && fast == exact)
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "capacity " << capacity << ": " << std::get<0>(got) << " bytes, error "
           << std::get<1>(got) << " at " << std::get<2>(got) << "; exact: " << std::get<0>(want)
           << " bytes, error " << std::get<1>(want) << " at " << std::get<2>(want)
           << (fast == exact ? "" : "; bytes differ")
           << "\n  text: " << testing::PrintToString(text);
}

std::string random_groups(std::mt19937& random, std::size_t groups) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text(4 * groups, 'A');
    for (char& c : text)
        c = alphabet[random() % 64];
    return text;
}

TEST(Base64Vector, SameAsTheExactPathForEveryLayoutAndCapacity) {
    std::mt19937 random(20240611);
    for (std::size_t groups = 0; groups <= 300; ++groups) {
        const std::string plain = random_groups(random, groups);
        std::vector<std::string> texts = {plain};
        std::string lines, spaced; // line breaks after 19 groups; blanks between random groups
        for (std::size_t g = 0; g < groups; ++g) {
            lines += plain.substr(4 * g, 4) + (g % 19 == 18 ? (g % 2 ? "\r\n" : "\n") : "");
            spaced += std::string(random() % 4 == 0 ? random() % 3 + 1 : 0, WS[random() % 4]) +
                      plain.substr(4 * g, 4);
        }
        texts.push_back(lines);
        texts.push_back(spaced + "\n");
        if (groups > 0) {
            // A blank inside a group fails where it stands; padding at the end and in the middle.
            const std::size_t inside = 4 * (random() % groups) + 1 + random() % 3;
            texts.push_back(plain.substr(0, inside) + ' ' + plain.substr(inside));
            for (const std::size_t at : {groups - 1, groups / 2})
                for (std::size_t pad = 1; pad <= 3; ++pad)
                    texts.push_back(plain.substr(0, 4 * at + 4 - pad) + std::string(pad, '=') +
                                    plain.substr(4 * at + 4));
        }
        const std::size_t need = 3 * groups;
        std::vector<std::size_t> capacities = {need, need + 100};
        if (need <= 60)
            for (std::size_t c = 0; c < need; ++c)
                capacities.push_back(c);
        else
            capacities.insert(capacities.end(),
                              {0, 23, 24, 25, 47, 48, 49, need / 2, random() % need, need - 49,
                               need - 48, need - 47, need - 25, need - 24, need - 23, need - 1});
        for (const std::string& text : texts)
            for (const std::size_t capacity : capacities)
                ASSERT_TRUE(same_as_exact(text, WS, capacity)) << groups << " groups";
    }
}

TEST(Base64Vector, SameAsTheExactPathWithAnyCharacterAnywhere) {
    std::mt19937 random(7);
    const std::string plain = random_groups(random, 25);
    for (const char* skip : {WS, "", "-*"})
        for (int byte = 0; byte < 256; ++byte) // '*', '=', '\0', 0x80, '-', blanks and all others
            for (std::size_t at = 0; at < plain.size(); ++at) {
                std::string text = plain;
                text[at] = static_cast<char>(byte);
                for (const std::size_t capacity : {75u, 48u})
                    ASSERT_TRUE(same_as_exact(text, skip, capacity))
                        << "skip \"" << skip << "\", at " << at;
            }
    // Letters of the alphabet in the skip set are skipped only between groups, also where the
    // text is long enough for the vector blocks.
    const std::string letters =
        std::string(32, 'a') + "AAAAAAA/2" + std::string(17, 'a') + std::string(15, 'A') + "==";
    EXPECT_TRUE(same_as_exact(letters, "a", 64));
}

// Independent of the exact path: long lines of real values come back as written.
TEST(Base64Vector, LongTextsDecodeToTheirValues) {
    std::vector<double> values(1000);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = 100.0 + static_cast<double>(i) * 0.37;
    for (const int bits : {32, 64}) {
        const std::string line = fixture::encode_values(values, bits);
        std::string text; // broken after every 76 characters, as converters write it
        for (std::size_t at = 0; at < line.size(); at += 76)
            text.append(line, at, 76).push_back('\n');
        std::vector<double> got, want(values);
        if (bits == 64) {
            base64_decode_vector(text, BIG_ENDIAN_ORDER, values.size(), values.size(), got);
        } else {
            std::vector<float> floats;
            base64_decode_vector(text, BIG_ENDIAN_ORDER, values.size(), values.size(), floats);
            got.assign(floats.begin(), floats.end());
            for (double& value : want)
                value = static_cast<float>(value);
        }
        EXPECT_EQ(got, want) << bits << " bits";
    }
}

} // namespace
