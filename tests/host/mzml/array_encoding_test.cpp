// Arrays as mzML carries them: the bytes and base64 text checked against
// values worked out by hand, zlib inflated by zlib itself, numpress within
// its documented error, and text that cannot be an array refused.
#include <host/mzml/array_encoding.h>
#include <host/mzml/cv_terms.h>
#include <host/mzml/mzml_error.h>

#include <gtest/gtest.h>
#include <nettle/base64.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace orvohost::mzml;

std::vector<unsigned char> unbase64(const std::string& text) {
    std::vector<unsigned char> bytes(BASE64_DECODE_LENGTH(text.size()));
    base64_decode_ctx context;
    base64_decode_init(&context);
    std::size_t size = bytes.size();
    EXPECT_TRUE(base64_decode_update(&context, &size, bytes.data(), text.size(), text.data()));
    EXPECT_TRUE(base64_decode_final(&context));
    bytes.resize(size);
    return bytes;
}

std::string encoded(const std::vector<double>& values, const ArrayFormat& format,
                    std::size_t stride = 1) {
    std::string text = "<";
    const std::size_t length =
        append_encoded(text, values.data(), values.size() / stride, stride, format);
    // Appended after what the string held, and the length is the text's.
    EXPECT_EQ(text.front(), '<');
    EXPECT_EQ(length, text.size() - 1);
    return text.substr(1);
}

TEST(MzmlArrayEncoding, PlainValuesAreLittleEndianFloatsInBase64) {
    // Expected texts made apart from the writer: Python's
    // base64.b64encode(struct.pack('<3d', ...)).
    struct Case {
        const char* name;
        std::vector<double> values;
        ArrayFormat format;
        std::string text;
    } cases[] = {
        {"64-bit",
         {100.5, -2.25, 1e300},
         {true, false, Numpress::NONE},
         "AAAAAAAgWUAAAAAAAAACwJx1AIg85Dd+"},
        {"32-bit", {100.5, -2.25, 3.0}, {false, false, Numpress::NONE}, "AADJQgAAEMAAAEBA"},
        {"32-bit, one value padded", {1.0}, {false, false, Numpress::NONE}, "AACAPw=="},
        {"empty", {}, {true, false, Numpress::NONE}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(encoded(c.values, c.format), c.text);
        EXPECT_EQ(decode_array(c.text, c.format, c.values.size()), c.values);
    }
}

TEST(MzmlArrayEncoding, StrideTakesOneMemberOfEachPeak) {
    // m/z and intensity interleaved, as a peak list holds them.
    const std::vector<double> peaks{100.5, 7.0, -2.25, 8.0, 1e300, 9.0};
    const ArrayFormat wide{true, false, Numpress::NONE};
    EXPECT_EQ(encoded(peaks, wide, 2), "AAAAAAAgWUAAAAAAAAACwJx1AIg85Dd+");
    std::string text;
    append_encoded(text, peaks.data() + 1, 3, 2, wide);
    EXPECT_EQ(decode_array(text, wide, 3), (std::vector<double>{7.0, 8.0, 9.0}));
}

TEST(MzmlArrayEncoding, ZlibInflatesToThePlainBytes) {
    std::vector<double> values;
    for (int i = 0; i < 500; ++i)
        values.push_back(100.0 + 0.25 * i);
    for (const bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "64-bit" : "32-bit");
        const std::string plain = encoded(values, {wide, false, Numpress::NONE});
        const std::string packed = encoded(values, {wide, true, Numpress::NONE});
        EXPECT_LT(packed.size(), plain.size());
        const auto compressed = unbase64(packed);
        std::vector<unsigned char> inflated(values.size() * 8);
        uLongf size = static_cast<uLongf>(inflated.size());
        ASSERT_EQ(uncompress(inflated.data(), &size, compressed.data(),
                             static_cast<uLong>(compressed.size())),
                  Z_OK);
        inflated.resize(size);
        EXPECT_EQ(inflated, unbase64(plain));
        EXPECT_EQ(decode_array(packed, {wide, true, Numpress::NONE}, values.size()), values);
    }
}

TEST(MzmlArrayEncoding, NumpressKeepsValuesWithinItsError) {
    std::vector<double> mz;
    std::vector<double> intensity;
    for (int i = 0; i < 300; ++i) {
        mz.push_back(150.0 + 7.123456789 * i);
        intensity.push_back(std::fmod(37.0 * i * i, 1e6) + 0.3);
    }
    struct Case {
        const char* name;
        const std::vector<double>& values;
        Numpress kind;
        double absolute;
        double relative;
    } cases[] = {
        // Linear: fixed point near 2^31 / largest value.
        {"linear", mz, Numpress::LINEAR, 1e-6, 0.0},
        // Positive integers: rounded.
        {"pic", intensity, Numpress::PIC, 0.5, 0.0},
        // Short logged floats: a relative error of a few in ten thousand.
        {"slof", intensity, Numpress::SLOF, 0.0, 5e-4},
    };
    for (const auto& c : cases)
        for (const bool zlib : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (zlib ? " and zlib" : ""));
            const ArrayFormat format{true, zlib, c.kind};
            const std::string text = encoded(c.values, format);
            const std::vector<double> read = decode_array(text, format, c.values.size());
            ASSERT_EQ(read.size(), c.values.size());
            for (std::size_t i = 0; i < read.size(); ++i)
                EXPECT_NEAR(read[i], c.values[i], c.absolute + c.relative * c.values[i]) << i;
            EXPECT_EQ(numpress_round_trip(c.values, c.kind), read);
            EXPECT_NE(read, c.values) << "numpress kept every value: the case tests nothing";
        }
}

TEST(MzmlArrayEncoding, NumpressRefusesWhatItCannotHold) {
    const std::vector<double> negative{1.0, -5.0, 3.0};
    EXPECT_THROW(encoded(negative, {true, false, Numpress::PIC}), MzmlWriteError);
}

TEST(MzmlArrayEncoding, TermsNameTheFormat) {
    struct Case {
        ArrayFormat format;
        Cv type;
        Cv compression;
    } cases[] = {
        {{false, false, Numpress::NONE}, Cv::FLOAT_32, Cv::NO_COMPRESSION},
        {{true, false, Numpress::NONE}, Cv::FLOAT_64, Cv::NO_COMPRESSION},
        {{false, true, Numpress::NONE}, Cv::FLOAT_32, Cv::ZLIB},
        // Numpress decodes to doubles, whatever the source's precision.
        {{false, false, Numpress::LINEAR}, Cv::FLOAT_64, Cv::NUMPRESS_LINEAR},
        {{true, false, Numpress::PIC}, Cv::FLOAT_64, Cv::NUMPRESS_PIC},
        {{true, false, Numpress::SLOF}, Cv::FLOAT_64, Cv::NUMPRESS_SLOF},
        {{true, true, Numpress::LINEAR}, Cv::FLOAT_64, Cv::NUMPRESS_LINEAR_ZLIB},
        {{true, true, Numpress::PIC}, Cv::FLOAT_64, Cv::NUMPRESS_PIC_ZLIB},
        {{true, true, Numpress::SLOF}, Cv::FLOAT_64, Cv::NUMPRESS_SLOF_ZLIB},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(type_term(c.format), c.type) << cv(c.compression).name;
        EXPECT_EQ(compression_term(c.format), c.compression) << cv(c.compression).name;
    }
}

TEST(MzmlArrayEncoding, TextThatIsNoArrayIsRefused) {
    const ArrayFormat wide{true, false, Numpress::NONE};
    const ArrayFormat packed{true, true, Numpress::NONE};
    struct Case {
        const char* name;
        std::string text;
        ArrayFormat format;
        std::size_t count;
    } cases[] = {
        {"fewer values than stated", "AAAAAAAgWUAAAAAAAAACwA==", wide, 3},
        {"more values than stated", "AAAAAAAgWUAAAAAAAAACwJx1AIg85Dd+", wide, 2},
        {"not base64", "AAAA*AAA", wide, 0},
        {"not zlib", "AAAAAAAgWUAAAAAAAAACwJx1AIg85Dd+", packed, 3},
        {"numpress of the wrong length",
         "AAAAAAAgWUAAAAAAAAACwJx1AIg85Dd+",
         {true, false, Numpress::SLOF},
         1},
    };
    for (const auto& c : cases)
        EXPECT_THROW(decode_array(c.text, c.format, c.count), MzmlArrayError) << c.name;
}

} // namespace
