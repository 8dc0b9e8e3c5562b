// Numbers as text, as short as exact, written straight into the caller's
// buffer: no allocation a number.
//
// A spectrum whose every value is exactly a 32-bit float (as every value
// of a 32-bit file is, widened) has its values written as the shortest text
// that reads back to that float: a 32-bit m/z of 102.41888 is "102.41888",
// not the "102.41888427734375" of its double. Any other value is written as
// the shortest text that reads back to the same double; so are header
// values (retention time, precursor m/z, total ion current), which come
// from decimal text in the file and so come out with the file's digits.
#pragma once

#include <string>

namespace orvohost {

// The shortest text of the double.
void append_number(std::string& out, double value);
// The shortest text of the value as a 32-bit float: for values known to be
// exactly one (see is_single), as every value of a 32-bit spectrum is.
void append_as_float(std::string& out, double value);
// Whether `value` is exactly a 32-bit float.
bool is_single(double value);

// append_number as a string of its own.
std::string number_text(double value);

} // namespace orvohost
