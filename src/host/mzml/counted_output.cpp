#include "counted_output.h"

#include <host/base/hex.h>

#include <utility>

namespace orvohost::mzml {

CountedOutput::CountedOutput(Sink take) : sink(std::move(take)) {
    sha1_init(&hash);
}

void CountedOutput::write(std::string_view text) {
    sha1_update(&hash, text.size(), reinterpret_cast<const std::uint8_t*>(text.data()));
    write_unhashed(text);
}

void CountedOutput::write_unhashed(std::string_view text) {
    if (text.empty())
        return;
    sink(text);
    written += text.size();
}

std::string CountedOutput::digest() {
    std::uint8_t bytes[SHA1_DIGEST_SIZE];
    sha1_digest(&hash, SHA1_DIGEST_SIZE, bytes);
    return hex(bytes, SHA1_DIGEST_SIZE);
}

} // namespace orvohost::mzml
