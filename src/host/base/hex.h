// Bytes as lower-case hex digits, as a digest is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvohost {

std::string hex(const std::uint8_t* bytes, std::size_t size);

} // namespace orvohost
