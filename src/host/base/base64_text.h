// Base64 as the host writes it, in repaired copies' peak texts and in
// mzML's binary arrays: the standard alphabet with padding, no line
// breaks, encoded in vector steps where the processor has them.
#pragma once

#include <cstddef>
#include <string>

namespace orvohost {

std::string base64_text(const unsigned char* bytes, std::size_t size);
void append_base64(const unsigned char* bytes, std::size_t size, std::string& into);

} // namespace orvohost
