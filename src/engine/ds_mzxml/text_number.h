// Numbers in mzXML text, converted with the stopping rules of atoi, _atoi64
// and atof but independent of the process's locale: a host that set a German
// LC_NUMERIC still reads 445.34 as 445.34. Leading blanks (space, tab, line
// feed, vertical tab, form feed, carriage return) are skipped, conversion
// stops at the first character that does not fit, and a text without digits
// gives 0. Integers out of range saturate. Nothing reports an error.
#pragma once

#include <cstdint>
#include <string_view>

namespace orvoeng {

std::int32_t text_to_int32(std::string_view text);
std::int64_t text_to_int64(std::string_view text);
double text_to_double(std::string_view text);

} // namespace orvoeng
