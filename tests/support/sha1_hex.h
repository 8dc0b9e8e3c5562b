// The SHA-1 of some bytes as lower-case hex, by nettle (or the project's
// shim in a cross build), for tests that check a digest a writer stated.
#pragma once

#include <nettle/sha1.h>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace fixture {

inline std::string sha1_hex(std::string_view bytes) {
    sha1_ctx context;
    sha1_init(&context);
    sha1_update(&context, bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
    std::uint8_t digest[SHA1_DIGEST_SIZE];
    sha1_digest(&context, SHA1_DIGEST_SIZE, digest);
    return fmt::format("{:02x}", fmt::join(digest, ""));
}

} // namespace fixture
