#include "array_encoding.h"

#include "mzml_error.h"

#include <host/base/base64_text.h>

#include <libmsnumpress/MSNumpress.hpp>
#include <nettle/base64.h>
#include <zlib.h>

#include <fmt/format.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <type_traits>

namespace orvohost::mzml {

namespace numpress = ms::numpress::MSNumpress;

namespace {

// Bytes in little-endian order whatever the machine's, by shifts that a
// little-endian compiler turns into a plain store.
template <class T>
using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;

template <class T>
void put_little(unsigned char* at, T value) {
    auto bits = std::bit_cast<Bits<T>>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i, bits >>= 8)
        at[i] = static_cast<unsigned char>(bits & 0xFF);
}

template <class T>
T get_little(const unsigned char* at) {
    Bits<T> bits = 0;
    for (std::size_t i = sizeof(T); i-- > 0;)
        bits = static_cast<Bits<T>>((bits << 8) | at[i]);
    return std::bit_cast<T>(bits);
}

// Buffers a thread keeps from spectrum to spectrum, so that a run of
// spectra allocates once.
struct Scratch {
    std::vector<double> values;
    std::vector<unsigned char> bytes;
    std::vector<unsigned char> packed;
};

Scratch& scratch() {
    thread_local Scratch buffers;
    return buffers;
}

// The numpress bytes of `values`; the library raises a C string when a
// value does not fit.
std::size_t numpress_encode(const std::vector<double>& values, Numpress kind,
                            std::vector<unsigned char>& bytes) {
    const std::size_t n = values.size();
    // The sizes the library documents as enough: a header of 8 bytes, then
    // at most five bytes a value (two for slof).
    bytes.resize(8 + 5 * n);
    try {
        switch (kind) {
        case Numpress::LINEAR:
            return numpress::encodeLinear(values.data(), n, bytes.data(),
                                          numpress::optimalLinearFixedPoint(values.data(), n));
        case Numpress::PIC:
            return numpress::encodePic(values.data(), n, bytes.data());
        case Numpress::SLOF:
            return numpress::encodeSlof(values.data(), n, bytes.data(),
                                        numpress::optimalSlofFixedPoint(values.data(), n));
        case Numpress::NONE:
            break;
        }
    } catch (const char* why) {
        throw MzmlWriteError(fmt::format("numpress cannot hold these values: {}", why));
    } catch (const std::exception& e) {
        throw MzmlWriteError(fmt::format("numpress cannot hold these values: {}", e.what()));
    }
    return 0;
}

std::vector<double> numpress_decode(const unsigned char* bytes, std::size_t size, Numpress kind) {
    // A value takes at least half a byte after the header.
    std::vector<double> values(2 * size + 2);
    std::size_t n = 0;
    try {
        switch (kind) {
        case Numpress::LINEAR:
            n = numpress::decodeLinear(bytes, size, values.data());
            break;
        case Numpress::PIC:
            n = numpress::decodePic(bytes, size, values.data());
            break;
        case Numpress::SLOF:
            n = numpress::decodeSlof(bytes, size, values.data());
            break;
        case Numpress::NONE:
            break;
        }
    } catch (const char* why) {
        throw MzmlArrayError(fmt::format("its numpress bytes do not decode: {}", why));
    } catch (const std::exception& e) {
        throw MzmlArrayError(fmt::format("its numpress bytes do not decode: {}", e.what()));
    }
    values.resize(n);
    return values;
}

} // namespace

Cv type_term(const ArrayFormat& format) {
    return format.wide || format.numpress != Numpress::NONE ? Cv::FLOAT_64 : Cv::FLOAT_32;
}

Cv compression_term(const ArrayFormat& format) {
    switch (format.numpress) {
    case Numpress::LINEAR:
        return format.zlib ? Cv::NUMPRESS_LINEAR_ZLIB : Cv::NUMPRESS_LINEAR;
    case Numpress::PIC:
        return format.zlib ? Cv::NUMPRESS_PIC_ZLIB : Cv::NUMPRESS_PIC;
    case Numpress::SLOF:
        return format.zlib ? Cv::NUMPRESS_SLOF_ZLIB : Cv::NUMPRESS_SLOF;
    case Numpress::NONE:
        break;
    }
    return format.zlib ? Cv::ZLIB : Cv::NO_COMPRESSION;
}

std::size_t append_encoded(std::string& out, const double* first, std::size_t count,
                           std::size_t stride, const ArrayFormat& format) {
    Scratch& s = scratch();
    std::size_t size = 0;
    if (format.numpress != Numpress::NONE) {
        s.values.resize(count);
        for (std::size_t i = 0; i < count; ++i)
            s.values[i] = first[i * stride];
        size = numpress_encode(s.values, format.numpress, s.bytes);
    } else if (format.wide) {
        s.bytes.resize(8 * count);
        for (std::size_t i = 0; i < count; ++i)
            put_little(s.bytes.data() + 8 * i, first[i * stride]);
        size = s.bytes.size();
    } else {
        s.bytes.resize(4 * count);
        for (std::size_t i = 0; i < count; ++i)
            put_little(s.bytes.data() + 4 * i, static_cast<float>(first[i * stride]));
        size = s.bytes.size();
    }
    const unsigned char* bytes = s.bytes.data();
    if (format.zlib) {
        uLongf packed = compressBound(static_cast<uLong>(size));
        s.packed.resize(packed);
        if (compress(s.packed.data(), &packed, bytes, static_cast<uLong>(size)) != Z_OK)
            throw MzmlWriteError("zlib cannot compress an array");
        bytes = s.packed.data();
        size = packed;
    }
    const std::size_t before = out.size();
    append_base64(bytes, size, out);
    return out.size() - before;
}

std::vector<double> decode_array(std::string_view text, const ArrayFormat& format,
                                 std::size_t count) {
    std::vector<unsigned char> raw(BASE64_DECODE_LENGTH(text.size()));
    base64_decode_ctx context;
    base64_decode_init(&context);
    std::size_t size = raw.size();
    if (!base64_decode_update(&context, &size, raw.data(), text.size(), text.data()) ||
        !base64_decode_final(&context))
        throw MzmlArrayError("its binary is not base64");
    raw.resize(size);
    if (format.zlib) {
        // The inflated size is known for plain values; numpress bytes are
        // at most five a value after an 8-byte header.
        const std::size_t width = format.wide ? 8 : 4;
        std::vector<unsigned char> inflated(format.numpress != Numpress::NONE ? 8 + 5 * count
                                                                              : width * count);
        uLongf inflated_size = static_cast<uLongf>(inflated.size());
        const int status = uncompress(inflated.empty() ? nullptr : inflated.data(), &inflated_size,
                                      raw.data(), static_cast<uLong>(raw.size()));
        if (status != Z_OK && !(status == Z_BUF_ERROR && inflated.empty() && raw.empty()))
            throw MzmlArrayError(
                fmt::format("its zlib data do not inflate (zlib status {})", status));
        inflated.resize(inflated_size);
        raw = std::move(inflated);
    }
    if (format.numpress != Numpress::NONE) {
        std::vector<double> values = numpress_decode(raw.data(), raw.size(), format.numpress);
        if (values.size() != count)
            throw MzmlArrayError(
                fmt::format("its numpress data hold {} values, not {}", values.size(), count));
        return values;
    }
    const std::size_t width = format.wide ? 8 : 4;
    if (raw.size() != width * count)
        throw MzmlArrayError(fmt::format("its binary holds {} bytes where {} values of {} bits "
                                         "take {}",
                                         raw.size(), count, 8 * width, width * count));
    std::vector<double> values(count);
    for (std::size_t i = 0; i < count; ++i)
        values[i] = format.wide ? get_little<double>(raw.data() + 8 * i)
                                : static_cast<double>(get_little<float>(raw.data() + 4 * i));
    return values;
}

std::vector<double> numpress_round_trip(std::span<const double> values, Numpress kind) {
    const std::vector<double> copy(values.begin(), values.end());
    std::vector<unsigned char> bytes;
    const std::size_t size = numpress_encode(copy, kind, bytes);
    return numpress_decode(bytes.data(), size, kind);
}

} // namespace orvohost::mzml
