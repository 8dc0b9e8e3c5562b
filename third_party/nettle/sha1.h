// SHA-1 with the part of nettle's interface the host and its tools use, for
// targets where nettle is not installed (the Windows cross build). A context
// is a plain value: copying it forks the hash, as with nettle's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#define SHA1_DIGEST_SIZE 20

struct sha1_ctx {
    std::uint32_t state[5];
    std::uint64_t count; // bytes hashed
    std::uint8_t block[64];
    std::size_t used; // bytes waiting in `block`
};

namespace orvo_sha1 {

inline std::uint32_t rotl(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

inline void compress(std::uint32_t state[5], const std::uint8_t* data) {
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = static_cast<std::uint32_t>(data[4 * i]) << 24 |
               static_cast<std::uint32_t>(data[4 * i + 1]) << 16 |
               static_cast<std::uint32_t>(data[4 * i + 2]) << 8 |
               static_cast<std::uint32_t>(data[4 * i + 3]);
    for (int i = 16; i < 80; ++i)
        w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    for (int i = 0; i < 80; ++i) {
        std::uint32_t f, k;
        if (i < 20)
            f = (b & c) | (~b & d), k = 0x5A827999u;
        else if (i < 40)
            f = b ^ c ^ d, k = 0x6ED9EBA1u;
        else if (i < 60)
            f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDCu;
        else
            f = b ^ c ^ d, k = 0xCA62C1D6u;
        const std::uint32_t t = rotl(a, 5) + f + e + k + w[i];
        e = d, d = c, c = rotl(b, 30), b = a, a = t;
    }
    state[0] += a, state[1] += b, state[2] += c, state[3] += d, state[4] += e;
}

} // namespace orvo_sha1

inline void sha1_init(sha1_ctx* ctx) {
    const std::uint32_t start[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u,
                                    0xC3D2E1F0u};
    std::memcpy(ctx->state, start, sizeof start);
    ctx->count = 0;
    ctx->used = 0;
}

inline void sha1_update(sha1_ctx* ctx, std::size_t length, const std::uint8_t* data) {
    ctx->count += length;
    while (length > 0) {
        const std::size_t take = length < 64 - ctx->used ? length : 64 - ctx->used;
        std::memcpy(ctx->block + ctx->used, data, take);
        ctx->used += take, data += take, length -= take;
        if (ctx->used == 64) {
            orvo_sha1::compress(ctx->state, ctx->block);
            ctx->used = 0;
        }
    }
}

// Writes the first `length` bytes of the digest and starts the context anew.
inline void sha1_digest(sha1_ctx* ctx, std::size_t length, std::uint8_t* digest) {
    const std::uint64_t bits = ctx->count * 8;
    const std::uint8_t one = 0x80, zero = 0;
    sha1_update(ctx, 1, &one);
    while (ctx->used != 56)
        sha1_update(ctx, 1, &zero);
    std::uint8_t size[8];
    for (int i = 0; i < 8; ++i)
        size[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    sha1_update(ctx, 8, size);
    for (std::size_t i = 0; i < length && i < SHA1_DIGEST_SIZE; ++i)
        digest[i] = static_cast<std::uint8_t>(ctx->state[i / 4] >> (24 - 8 * (i % 4)));
    sha1_init(ctx);
}
