// Numbers as text, as short as exact, written straight into the caller's
// buffer: no allocation a number.
//
// Peak values: a value that is exactly a 32-bit float (as every value of a
// 32-bit file is, widened) is written as the shortest text that reads back
// to that float, any other as the shortest text that reads back to the same
// double. A 32-bit m/z of 102.41888 is "102.41888", not the
// "102.41888427734375" of its double.
//
// Header values (retention time, precursor m/z, total ion current) come
// from decimal text in the file, read as doubles: they are written as the
// shortest text of the double, which gives back the file's own digits.
#pragma once

#include <string>

namespace orvohost {

void append_peak_value(std::string& out, double value);
void append_number(std::string& out, double value);

// append_number as a string of its own.
std::string number_text(double value);

} // namespace orvohost
