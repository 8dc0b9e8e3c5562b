#include <pal/exception.h>
#include <pal/string.h>

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <tuple>

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
            for (std::size_t max : {1u, 3u, 9u}) {
                const auto sized = run([&] {
                    std::vector<float> units(max);
                    units.resize(base64_decode_ws(text, BIG_ENDIAN_ORDER, 4, max, units.data()));
                    if (units.size() < min)
                        throw StrDecodeError(DECODE_INPUT_EXHAUSTED, text.size(), 1, "");
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

} // namespace
