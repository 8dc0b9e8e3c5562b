#include "peak_text.h"

#include <pal/exception.h>
#include <pal/string.h>

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace orvohost::repair {

namespace {

constexpr char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::optional<std::vector<unsigned char>> decode(std::string_view text) {
    std::vector<unsigned char> bytes(text.size() / 4 * 3 + 3);
    try {
        const std::uint32_t size = PAL::base64_decode(text, " \t\r\n", bytes.size(), bytes.data());
        bytes.resize(size);
    } catch (const PAL::Exception&) {
        return std::nullopt;
    }
    return bytes;
}

// The whole stream must inflate and end: a cut stream gives no values
// rather than some of them.
std::optional<std::vector<unsigned char>> inflate_all(const std::vector<unsigned char>& packed) {
    if (packed.size() > std::numeric_limits<uInt>::max())
        return std::nullopt;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return std::nullopt;
    std::vector<unsigned char> plain(std::max<std::size_t>(packed.size() * 4, 1024));
    stream.next_in = const_cast<unsigned char*>(packed.data());
    stream.avail_in = static_cast<uInt>(packed.size());
    // Every call has room to write, so Z_BUF_ERROR means the input ended
    // before the stream did.
    int status = Z_OK;
    while (status == Z_OK) {
        if (stream.total_out == plain.size())
            plain.resize(plain.size() * 2);
        const std::size_t room = std::min<std::size_t>(plain.size() - stream.total_out,
                                                       std::numeric_limits<uInt>::max());
        stream.next_out = plain.data() + stream.total_out;
        stream.avail_out = static_cast<uInt>(room);
        status = inflate(&stream, Z_NO_FLUSH);
    }
    const std::size_t size = stream.total_out;
    inflateEnd(&stream);
    if (status != Z_STREAM_END || stream.avail_in != 0)
        return std::nullopt;
    plain.resize(size);
    return plain;
}

} // namespace

std::string base64_text(const unsigned char* bytes, std::size_t size) {
    std::string text;
    text.reserve((size + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const std::uint32_t v = std::uint32_t{bytes[i]} << 16 | std::uint32_t{bytes[i + 1]} << 8 |
                                std::uint32_t{bytes[i + 2]};
        text += ALPHABET[v >> 18];
        text += ALPHABET[(v >> 12) & 63];
        text += ALPHABET[(v >> 6) & 63];
        text += ALPHABET[v & 63];
    }
    if (size - i == 1) {
        const std::uint32_t v = std::uint32_t{bytes[i]} << 16;
        text += ALPHABET[v >> 18];
        text += ALPHABET[(v >> 12) & 63];
        text += "==";
    } else if (size - i == 2) {
        const std::uint32_t v = std::uint32_t{bytes[i]} << 16 | std::uint32_t{bytes[i + 1]} << 8;
        text += ALPHABET[v >> 18];
        text += ALPHABET[(v >> 12) & 63];
        text += ALPHABET[(v >> 6) & 63];
        text += '=';
    }
    return text;
}

std::optional<std::string> inflate_peak_text(std::string_view compressed) {
    // A scan without peaks may leave the element empty: nothing to inflate.
    if (compressed.find_first_not_of(" \t\r\n") == compressed.npos)
        return std::string(compressed);
    // White space may stand anywhere in base64, even inside a group.
    std::string packed_text;
    packed_text.reserve(compressed.size());
    for (const char c : compressed)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            packed_text += c;
    const auto packed = decode(packed_text);
    if (!packed)
        return std::nullopt;
    const auto plain = inflate_all(*packed);
    if (!plain)
        return std::nullopt;
    return base64_text(plain->data(), plain->size());
}

} // namespace orvohost::repair
