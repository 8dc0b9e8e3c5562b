#include "sha1_text.h"

#include <cstdint>

namespace mkmzxml {

std::string sha1_hex(sha1_ctx& context) {
    std::uint8_t digest[SHA1_DIGEST_SIZE];
    sha1_digest(&context, sizeof digest, digest);
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * sizeof digest);
    for (std::uint8_t byte : digest) {
        text += hex[byte >> 4];
        text += hex[byte & 15];
    }
    return text;
}

std::string sha1_hex(std::string_view bytes) {
    sha1_ctx context;
    sha1_init(&context);
    sha1_update(&context, bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
    return sha1_hex(context);
}

} // namespace mkmzxml
