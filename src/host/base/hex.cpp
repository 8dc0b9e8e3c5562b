#include "hex.h"

namespace orvohost {

std::string hex(const std::uint8_t* bytes, std::size_t size) {
    static constexpr char DIGITS[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * size);
    for (std::size_t i = 0; i < size; ++i) {
        text += DIGITS[bytes[i] >> 4];
        text += DIGITS[bytes[i] & 0xF];
    }
    return text;
}

} // namespace orvohost
