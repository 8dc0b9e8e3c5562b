#include <pal/exception.h>
#include <pal/string.h>

#include "support/mzxml_fixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr const char* WS = " \t\n\r";
constexpr std::uint8_t GUARD = 0xAA;

struct Outcome {
    Bytes bytes; // what the buffer holds afterwards, up to the capacity
    std::optional<std::int32_t> error;
    std::uint32_t offset = 0;
    std::uint32_t written = 0;
};

Outcome decode(const std::string& text, std::size_t capacity, const char* skip = WS) {
    Bytes buffer(capacity + 16, GUARD);
    Outcome outcome;
    try {
        outcome.written = PAL::base64_decode(text, skip, capacity, buffer.data());
    } catch (const PAL::StrDecodeError& e) {
        outcome.error = e.error;
        outcome.offset = e.offset;
    }
    for (std::size_t i = capacity; i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], GUARD) << "wrote past the capacity at " << i << " for " << text;
    const std::size_t kept = outcome.error ? capacity : outcome.written;
    outcome.bytes.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(kept));
    return outcome;
}

TEST(Base64, DecodesGroupsPaddingAndSkipCharacters) {
    struct Case {
        std::string text;
        Bytes bytes;
    };
    const Case cases[] = {
        {"", {}},
        {" \t\r\n ", {}},
        {"TWFu", {0x4D, 0x61, 0x6E}},
        {"TWE=", {0x4D, 0x61}},
        {"TQ==", {0x4D}},
        {"TQ==TWFu", {0x4D, 0x4D, 0x61, 0x6E}},
        {" \n TWFu\r\n\t", {0x4D, 0x61, 0x6E}},
        {"TWFu\r\nTWE= TQ==", {0x4D, 0x61, 0x6E, 0x4D, 0x61, 0x4D}},
        {"+/9A", {0xFB, 0xFF, 0x40}},
    };
    for (const auto& c : cases) {
        const Outcome got = decode(c.text, 64);
        EXPECT_FALSE(got.error) << c.text;
        EXPECT_EQ(got.bytes, c.bytes) << c.text;
    }
}

TEST(Base64, FailuresNameTheCodeAndTheOffset) {
    struct Case {
        std::string text;
        std::size_t capacity;
        std::int32_t error;
        std::uint32_t offset;
        Bytes written_before; // groups decoded before the failure
    };
    const Case cases[] = {
        {"TW\nFu", 64, PAL::DECODE_ILLEGAL_CHARACTER, 2, {}},
        {"TWF", 64, PAL::DECODE_INPUT_EXHAUSTED, 0, {}},
        {"TWFuTQ", 64, PAL::DECODE_INPUT_EXHAUSTED, 4, {0x4D, 0x61, 0x6E}},
        {"TQ==\nTQ=", 64, PAL::DECODE_INPUT_EXHAUSTED, 5, {0x4D}},
        {"T===", 64, PAL::DECODE_EXCESSIVE_PADDING, 3, {}},
        {"TWFu====", 64, PAL::DECODE_EXCESSIVE_PADDING, 6, {0x4D, 0x61, 0x6E}},
        {"TQ=A", 64, PAL::DECODE_ILLEGAL_CHARACTER, 3, {}},
        {"=TQA", 64, PAL::DECODE_ILLEGAL_CHARACTER, 1, {}},
        {"TWF\x80", 64, PAL::DECODE_ILLEGAL_CHARACTER, 3, {}},
        {"TWFu \xC3\xA9QQ", 64, PAL::DECODE_ILLEGAL_CHARACTER, 5, {0x4D, 0x61, 0x6E}},
        {"TWFu TW-u", 64, PAL::DECODE_ILLEGAL_CHARACTER, 7, {0x4D, 0x61, 0x6E}},
        {"TWFu", 2, PAL::DECODE_OUTPUT_EXHAUSTED, 0, {}},
        {"TWFu TWFu", 4, PAL::DECODE_OUTPUT_EXHAUSTED, 5, {0x4D, 0x61, 0x6E}},
        {"TWFuTWE=", 4, PAL::DECODE_OUTPUT_EXHAUSTED, 4, {0x4D, 0x61, 0x6E}},
    };
    for (const auto& c : cases) {
        const Outcome got = decode(c.text, c.capacity);
        ASSERT_TRUE(got.error) << c.text;
        EXPECT_EQ(*got.error, c.error) << c.text;
        EXPECT_EQ(got.offset, c.offset) << c.text;
        EXPECT_EQ(Bytes(got.bytes.begin(), got.bytes.begin() + c.written_before.size()),
                  c.written_before)
            << c.text;
    }
}

TEST(Base64, CapacityThatFitsAPaddedGroupExactlyIsEnough) {
    const Outcome got = decode("TWFuTWE=", 5);
    EXPECT_FALSE(got.error);
    EXPECT_EQ(got.bytes, (Bytes{0x4D, 0x61, 0x6E, 0x4D, 0x61}));
}

TEST(Base64, SkipSetIsTheCallersOnly) {
    EXPECT_EQ(decode(" TWFu", 8, "").offset, 0u);
    EXPECT_EQ(decode("TWFu;TWFu", 8, ";").bytes.size(), 6u);
    EXPECT_EQ(decode("TWFu TWFu", 8, ";").error, PAL::DECODE_ILLEGAL_CHARACTER);
}

TEST(Base64, NullOutputIsABrokenContract) {
    try {
        PAL::base64_decode("", WS, 0, nullptr);
        FAIL() << "no assertion for a null buffer";
    } catch (const PAL::AssertFailure& e) {
        EXPECT_EQ(e.text, L"bytes is NULL");
    }
}

TEST(Base64Units, WholeUnitsInNativeOrder) {
    // 00 01 02 03 04 05 06 07 as two big-endian 32-bit units.
    std::uint32_t units[3] = {};
    EXPECT_EQ(PAL::base64_decode_ws("AAEC\nAwQF Bgc=", PAL::BIG_ENDIAN_ORDER, 4, 3, units), 2u);
    EXPECT_EQ(units[0], 0x00010203u);
    EXPECT_EQ(units[1], 0x04050607u);

    const std::string seven_bytes = "AAAAAAAAAA==";
    try {
        PAL::base64_decode_ws(seven_bytes, PAL::BIG_ENDIAN_ORDER, 4, 3, units);
        FAIL() << "seven bytes are not whole 4-byte units";
    } catch (const PAL::StrDecodeError& e) {
        EXPECT_EQ(e.error, PAL::DECODE_INPUT_EXHAUSTED);
        EXPECT_EQ(e.offset, seven_bytes.size());
    }
    try {
        PAL::base64_decode_units("AAECAwQFBgc=", WS, PAL::BIG_ENDIAN_ORDER, 4, 1, units);
        FAIL() << "two units do not fit one";
    } catch (const PAL::StrDecodeError& e) {
        EXPECT_EQ(e.error, PAL::DECODE_OUTPUT_EXHAUSTED);
        EXPECT_EQ(e.offset, 4u);
    }
}

TEST(Base64Vector, RoundTripsEncodedPeakValues) {
    const std::vector<double> values = {100.5, 2.25e6, 445.34, 0.0, -1.5, 1e-300};
    std::vector<double> doubles;
    PAL::base64_decode_vector(fixture::encode_values(values, 64), PAL::BIG_ENDIAN_ORDER, 6, 7,
                              doubles);
    EXPECT_EQ(doubles, values);

    std::vector<float> floats;
    PAL::base64_decode_vector(fixture::encode_values(values, 32), PAL::BIG_ENDIAN_ORDER, 6, 7,
                              floats);
    ASSERT_EQ(floats.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(floats[i], static_cast<float>(values[i]));
}

TEST(Base64Vector, AHugeCountFromAFileDoesNotAllocate) {
    // Sizing the vector to this count first would ask for terabytes.
    const std::size_t huge = std::size_t{1} << 40;
    std::vector<double> units;
    PAL::base64_decode_vector(fixture::encode_values({1.0, 2.0}, 64), PAL::BIG_ENDIAN_ORDER, 2,
                              huge, units);
    EXPECT_EQ(units, (std::vector<double>{1.0, 2.0}));
    EXPECT_LT(units.capacity(), 16u);
}

// The outcome the algorithm gives when the vector is first sized to the
// maximum: the capped vector must match it for every input.
struct VectorOutcome {
    std::vector<float> units;
    std::int32_t error = 0;
    std::uint32_t offset = 0;
    bool operator==(const VectorOutcome&) const = default;
};

VectorOutcome reference(const std::string& text, std::size_t min, std::size_t max) {
    VectorOutcome outcome;
    std::vector<float> units(max);
    try {
        const auto got = PAL::base64_decode_ws(text, PAL::BIG_ENDIAN_ORDER, 4, max, units.data());
        if (got < min)
            return {{}, PAL::DECODE_INPUT_EXHAUSTED, static_cast<std::uint32_t>(text.size())};
        units.resize(got);
        outcome.units = units;
    } catch (const PAL::StrDecodeError& e) {
        outcome.error = e.error;
        outcome.offset = e.offset;
    }
    return outcome;
}

VectorOutcome capped(const std::string& text, std::size_t min, std::size_t max) {
    VectorOutcome outcome;
    outcome.units = {9.0f, 9.0f}; // must be emptied on failure
    try {
        PAL::base64_decode_vector(text, PAL::BIG_ENDIAN_ORDER, min, max, outcome.units);
    } catch (const PAL::StrDecodeError& e) {
        EXPECT_TRUE(outcome.units.empty()) << text;
        outcome.error = e.error;
        outcome.offset = e.offset;
    }
    return outcome;
}

TEST(Base64Vector, SameResultOrErrorAsAVectorSizedToTheMaximum) {
    const std::string three = fixture::encode_values({1, 2, 3}, 32);
    const std::string six = fixture::encode_values({1, 2, 3, 4, 5, 6}, 32);
    const std::string texts[] = {"",          three,          six,      six + "\n",
                                 three + "=", "AAAAAAAAAA==", "TW\nFu", "  " + three + "  "};
    const std::pair<std::size_t, std::size_t> limits[] = {{0, 1}, {2, 3}, {3, 3},  {3, 4},
                                                          {4, 5}, {6, 7}, {0, 100}};
    for (const auto& text : texts)
        for (const auto& [min, max] : limits)
            EXPECT_EQ(capped(text, min, max), reference(text, min, max))
                << "text \"" << text << "\" min " << min << " max " << max;
}

TEST(Base64Errors, TextsAndDescription) {
    const std::pair<std::int32_t, const wchar_t*> texts[] = {
        {0, L"No error"},
        {1, L"Input buffer exhausted"},
        {2, L"Output buffer exhausted"},
        {3, L"Illegal character"},
        {4, L"Excessive padding"},
        {5, L"Invalid escape sequence"},
        {6, L"Unescaped special character"},
        {7, L"Unknown error 7"},
        {-1, L"Unknown error -1"},
    };
    for (const auto& [code, text] : texts)
        EXPECT_EQ(PAL::decode_error_text(code), text);
    EXPECT_EQ(PAL::StrDecodeError(3, 12, 1, "test").description(),
              L"Decoding error: Illegal character (offset 12)");
}

} // namespace
