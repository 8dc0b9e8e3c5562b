#include "file_sha1.h"

#include <host/base/hex.h>
#include <host/base/host_error.h>

#include <nettle/sha1.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace orvohost::mzml {

namespace {

struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string hashed(const std::filesystem::path& file, std::uint64_t limit, bool whole) {
    const std::unique_ptr<std::FILE, Closer> in(std::fopen(file.string().c_str(), "rb"));
    if (!in)
        throw HostError(file.string() + ": cannot be read: " + std::strerror(errno));
    sha1_ctx hash;
    sha1_init(&hash);
    std::vector<std::uint8_t> block(std::size_t{1} << 20);
    std::uint64_t left = limit;
    while (left > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
        const std::size_t got = std::fread(block.data(), 1, want, in.get());
        sha1_update(&hash, got, block.data());
        left -= got;
        if (got < want) {
            if (std::ferror(in.get()))
                throw HostError(file.string() + ": cannot be read: " + std::strerror(errno));
            if (!whole)
                throw HostError(file.string() + ": ends before the bytes its checksum covers");
            break;
        }
    }
    std::uint8_t digest[SHA1_DIGEST_SIZE];
    sha1_digest(&hash, SHA1_DIGEST_SIZE, digest);
    return hex(digest, SHA1_DIGEST_SIZE);
}

} // namespace

std::string file_sha1(const std::filesystem::path& file) {
    return hashed(file, std::numeric_limits<std::uint64_t>::max(), true);
}

std::string file_prefix_sha1(const std::filesystem::path& file, std::uint64_t size) {
    return hashed(file, size, false);
}

} // namespace orvohost::mzml
