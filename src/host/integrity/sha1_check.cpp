#include "sha1_check.h"

#include <host/base/hex.h>

#include <nettle/sha1.h>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <system_error>
#include <vector>

namespace orvohost {

namespace {

constexpr std::string_view OPEN_TAG = "<sha1>";
constexpr std::string_view CLOSE_TAG = "</sha1>";
constexpr std::size_t DIGEST_DIGITS = 2 * SHA1_DIGEST_SIZE;
// Bytes kept after the last "<sha1>": a digest, its closing tag and generous
// white space, or enough of whatever stands there instead to show it.
constexpr std::size_t TAIL_BYTES = 256;
constexpr std::size_t SHOWN_BYTES = 64;

class Descriptor {
public:
    explicit Descriptor(int opened) : fd(opened) {}
    ~Descriptor() { ::close(fd); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd; }

private:
    int fd;
};

Sha1Result unreadable(int error) {
    Sha1Result result;
    result.state = Sha1Result::UNREADABLE;
    result.error = std::system_category().message(error);
    return result;
}

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_space(text.back()))
        text.remove_suffix(1);
    return text;
}

bool is_hex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The element text after "<sha1>", up to the next markup, into `stated`;
// returns whether it is a digest closed by "</sha1>". A malformed text is
// shortened for display without splitting a UTF-8 character.
bool read_stated(std::string_view tail, std::string& stated) {
    const std::size_t markup = tail.find('<');
    const std::string_view text = trim(tail.substr(0, markup));
    const bool closed =
        markup != std::string_view::npos && tail.substr(markup).starts_with(CLOSE_TAG);
    if (closed && text.size() == DIGEST_DIGITS && std::all_of(text.begin(), text.end(), is_hex)) {
        stated.clear();
        for (const char c : text)
            stated += c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c;
        return true;
    }
    std::size_t shown = std::min(text.size(), SHOWN_BYTES);
    while (shown < text.size() && shown > 0 &&
           (static_cast<unsigned char>(text[shown]) & 0xC0) == 0x80)
        --shown;
    stated = std::string(trim(text.substr(0, shown)));
    return false;
}

} // namespace

Sha1Result check_sha1(const std::filesystem::path& file) {
#ifdef _WIN32
    const int fd = ::_wopen(file.c_str(), _O_RDONLY | _O_BINARY);
#else
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
#endif
    if (fd < 0)
        return unreadable(errno);
    const Descriptor descriptor(fd);

    std::vector<char> block(SHA1_CHECK_BLOCK);
    sha1_ctx running;
    sha1_init(&running);
    // The hash as it stood just after the latest "<sha1>" seen, taken by
    // copying the running context so that one pass serves every occurrence.
    sha1_ctx at_tag{};
    bool found = false;
    std::string tail;        // the bytes after the latest "<sha1>", up to TAIL_BYTES
    std::size_t matched = 0; // characters of "<sha1>" ending the bytes read so far
    for (;;) {
        const auto got =
            ::read(descriptor.get(), block.data(), static_cast<unsigned int>(block.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return unreadable(errno);
        if (got == 0)
            break;
        const auto size = static_cast<std::size_t>(got);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(block.data());
        std::size_t hashed = 0;                   // bytes of this block in `running`
        std::size_t tail_from = found ? 0 : size; // first byte of this block in `tail`
        for (std::size_t i = 0; i < size; ++i) {
            if (matched == 0) {
                const void* next = std::memchr(block.data() + i, '<', size - i);
                if (next == nullptr)
                    break;
                i = static_cast<std::size_t>(static_cast<const char*>(next) - block.data());
            }
            const char c = block[i];
            matched = c == OPEN_TAG[matched] ? matched + 1 : (c == '<' ? 1 : 0);
            if (matched == OPEN_TAG.size()) {
                sha1_update(&running, i + 1 - hashed, bytes + hashed);
                hashed = i + 1;
                at_tag = running;
                found = true;
                tail.clear();
                tail_from = i + 1;
                matched = 0;
            }
        }
        sha1_update(&running, size - hashed, bytes + hashed);
        if (tail_from < size && tail.size() < TAIL_BYTES)
            tail.append(block.data() + tail_from,
                        std::min(TAIL_BYTES - tail.size(), size - tail_from));
    }

    Sha1Result result;
    if (!found)
        return result;
    std::uint8_t digest[SHA1_DIGEST_SIZE];
    sha1_digest(&at_tag, SHA1_DIGEST_SIZE, digest);
    result.computed = hex(digest, SHA1_DIGEST_SIZE);
    const bool digest_text = read_stated(tail, result.stated);
    result.state =
        digest_text && result.stated == result.computed ? Sha1Result::MATCHES : Sha1Result::STALE;
    return result;
}

} // namespace orvohost
