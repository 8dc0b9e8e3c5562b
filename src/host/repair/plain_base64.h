// Base64 as the plain peak texts of a repaired copy have it: the standard
// alphabet with padding, no line breaks.
#pragma once

#include <cstddef>
#include <string>

namespace orvohost::repair {

std::string base64_text(const unsigned char* bytes, std::size_t size);
void append_base64(const unsigned char* bytes, std::size_t size, std::string& into);

} // namespace orvohost::repair
