#include "peak_encoding.h"

#include "base64.h"

#include <zlib.h>

#include <bit>
#include <cstdint>
#include <stdexcept>

namespace mkmzxml {

namespace {

template <typename Bits>
unsigned char* put_big_endian(unsigned char* out, Bits bits) {
    for (int shift = 8 * static_cast<int>(sizeof(Bits)) - 8; shift >= 0; shift -= 8)
        *out++ = static_cast<unsigned char>(bits >> shift);
    return out;
}

} // namespace

std::size_t encode_peaks(const PeakList& peaks, int precision, bool zlib,
                         std::vector<unsigned char>& bytes, std::string& text) {
    const std::size_t count = peaks.mz.size();
    bytes.resize(count * 2 * static_cast<std::size_t>(precision / 8));
    unsigned char* out = bytes.data();
    for (std::size_t i = 0; i < count; ++i) {
        if (precision == 32) {
            out =
                put_big_endian(out, std::bit_cast<std::uint32_t>(static_cast<float>(peaks.mz[i])));
            out = put_big_endian(
                out, std::bit_cast<std::uint32_t>(static_cast<float>(peaks.intensity[i])));
        } else {
            out = put_big_endian(out, std::bit_cast<std::uint64_t>(peaks.mz[i]));
            out = put_big_endian(out, std::bit_cast<std::uint64_t>(peaks.intensity[i]));
        }
    }
    if (!zlib) {
        base64_encode(bytes.data(), bytes.size(), text);
        return 0;
    }
    std::vector<unsigned char> packed(compressBound(static_cast<uLong>(bytes.size())));
    uLongf size = static_cast<uLongf>(packed.size());
    if (compress2(packed.data(), &size, bytes.data(), static_cast<uLong>(bytes.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        throw std::runtime_error("zlib could not compress a peak list");
    base64_encode(packed.data(), size, text);
    return size;
}

} // namespace mkmzxml
