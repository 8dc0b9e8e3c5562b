// A count with its noun, singular or plural as the count asks: "1 scan",
// "2 scans", "0 spectra".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvohost {

inline std::string counted(std::uint64_t count, std::string_view one, std::string_view many) {
    std::string text = std::to_string(count);
    text += ' ';
    text += count == 1 ? one : many;
    return text;
}

} // namespace orvohost
