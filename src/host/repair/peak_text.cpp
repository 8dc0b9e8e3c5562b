#include "peak_text.h"

#include <host/base/base64_text.h>

#include <pal/exception.h>
#include <pal/string.h>

#ifdef ORVO_HAVE_LIBDEFLATE
#include <libdeflate.h>
#else
#include <zlib.h>
#endif

#include <algorithm>
#include <cstdint>
#include <limits>

namespace orvohost::repair {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

// No base64 character is at or below the blank, so one comparison a byte
// tells; blocks of 64 without an early exit let the compiler vectorise it.
bool has_blank(std::string_view text) {
    constexpr std::size_t BLOCK = 64;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t i = 0;
    for (; i + BLOCK <= text.size(); i += BLOCK) {
        unsigned char low = 0;
        for (std::size_t j = 0; j < BLOCK; ++j)
            low |= static_cast<unsigned char>(bytes[i + j] <= ' ');
        if (low)
            break;
    }
    for (; i < text.size(); ++i)
        if (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n')
            return true;
    return false;
}

// The inflating itself. libdeflate, where the build has it, inflates a
// whole stream into a buffer about three times as fast as zlib; the Windows
// build has zlib only. Both take exactly one complete stream with its
// checksum, and nothing after it.
#ifdef ORVO_HAVE_LIBDEFLATE
struct PeakInflater::Stream {
    libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
    ~Stream() { libdeflate_free_decompressor(inflater); }

    std::optional<std::size_t> inflate(const unsigned char* input, std::size_t size,
                                       std::vector<unsigned char>& output) {
        if (inflater == nullptr)
            return std::nullopt;
        for (;;) {
            std::size_t used = 0;
            std::size_t made = 0;
            const libdeflate_result result = libdeflate_zlib_decompress_ex(
                inflater, input, size, output.data(), output.size(), &used, &made);
            if (result == LIBDEFLATE_SUCCESS)
                return used == size ? std::optional<std::size_t>(made) : std::nullopt;
            if (result != LIBDEFLATE_INSUFFICIENT_SPACE)
                return std::nullopt;
            output.resize(output.size() * 2);
        }
    }
};
#else
struct PeakInflater::Stream {
    z_stream z{};
    bool ready = false;
    ~Stream() {
        if (ready)
            inflateEnd(&z);
    }

    std::optional<std::size_t> inflate(const unsigned char* input, std::size_t size,
                                       std::vector<unsigned char>& output) {
        if (size > std::numeric_limits<uInt>::max())
            return std::nullopt;
        if (!ready) {
            if (inflateInit(&z) != Z_OK)
                return std::nullopt;
            ready = true;
        } else if (inflateReset(&z) != Z_OK) {
            return std::nullopt;
        }
        z.next_in = const_cast<unsigned char*>(input);
        z.avail_in = static_cast<uInt>(size);
        // Every call has room to write, so Z_BUF_ERROR means the input ended
        // before the stream did.
        int status = Z_OK;
        while (status == Z_OK) {
            if (z.total_out == output.size())
                output.resize(output.size() * 2);
            const std::size_t room = std::min<std::size_t>(output.size() - z.total_out,
                                                           std::numeric_limits<uInt>::max());
            z.next_out = output.data() + z.total_out;
            z.avail_out = static_cast<uInt>(room);
            status = ::inflate(&z, Z_NO_FLUSH);
        }
        if (status != Z_STREAM_END || z.avail_in != 0)
            return std::nullopt;
        return z.total_out;
    }
};
#endif

PeakInflater::PeakInflater() : stream(std::make_unique<Stream>()) {}

PeakInflater::~PeakInflater() = default;

bool PeakInflater::append_plain_text(std::string_view compressed, std::string& into) {
    // A scan without peaks may leave the element empty: nothing to inflate.
    if (std::all_of(compressed.begin(), compressed.end(), is_blank)) {
        into.append(compressed);
        return true;
    }
    if (packed.size() < compressed.size() / 4 * 3 + 3)
        packed.resize(compressed.size() / 4 * 3 + 3);
    std::size_t packed_size = 0;
    try {
        packed_size = PAL::base64_decode(compressed, "", packed.size(), packed.data());
    } catch (const PAL::Exception&) {
        // White space may stand anywhere in base64, even inside a group; a
        // text seldom has any, so it is looked for only once decoding fails.
        if (!has_blank(compressed))
            return false;
        packed_text.clear();
        std::copy_if(compressed.begin(), compressed.end(), std::back_inserter(packed_text),
                     [](char c) { return !is_blank(c); });
        try {
            packed_size = PAL::base64_decode(packed_text, "", packed.size(), packed.data());
        } catch (const PAL::Exception&) {
            return false;
        }
    }
    if (plain.size() < std::max<std::size_t>(packed_size * 2, 1024))
        plain.resize(std::max<std::size_t>(packed_size * 2, 1024));
    // A cut stream gives no values rather than some of them.
    const auto plain_size = stream->inflate(packed.data(), packed_size, plain);
    if (!plain_size)
        return false;
    append_base64(plain.data(), *plain_size, into);
    return true;
}

std::optional<std::string> inflate_peak_text(std::string_view compressed) {
    PeakInflater inflater;
    std::string text;
    if (!inflater.append_plain_text(compressed, text))
        return std::nullopt;
    return text;
}

} // namespace orvohost::repair
