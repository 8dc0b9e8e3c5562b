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

#include <ds/data_source_intf.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>

namespace orvohost {

// The shortest text of the double.
void append_number(std::string& out, double value);
// The shortest text of the value as a 32-bit float: for values known to be
// exactly one (see is_single), as every value of a 32-bit spectrum is.
void append_as_float(std::string& out, double value);
// Whether `value` is exactly a 32-bit float. Branch-free, so that a loop
// over a spectrum's values can test many at once.
inline bool is_single(double value) {
    constexpr double largest = std::numeric_limits<float>::max();
    const double magnitude = std::fabs(value);
    // A double beyond the float range has no float to be, and converting it
    // would be undefined: 0 stands in, which never equals it. NaN and
    // infinity are floats.
    const float narrowed = static_cast<float>(magnitude <= largest ? value : 0.0);
    return (static_cast<double>(narrowed) == value) |
           !(magnitude < std::numeric_limits<double>::infinity());
}

// The longest text a number is written as: "-2.2250738585072014e-308".
inline constexpr std::size_t NUMBER_TEXT_MAX = 24;
// A number is laid out with whole-register copies that may write this much
// past its end (bytes the next text overwrites).
inline constexpr std::size_t NUMBER_WRITE_SLACK = 32;

// Writes the shortest text of `value` (of the value as a 32-bit float when
// `single`) at `at`, which has room for NUMBER_TEXT_MAX + NUMBER_WRITE_SLACK
// characters; returns the end of what it wrote.
char* write_number(char* at, double value, bool single);

// Many numbers written straight into the end of a string: room is made once
// for all of them, and the string is cut to what was written when the
// writer goes. No call appends to the string while a writer lives.
class NumberWriter {
public:
    // Room for `numbers` numbers and `bytes` other characters.
    NumberWriter(std::string& text, std::size_t numbers, std::size_t bytes)
        : out(text), start(text.size()) {
        out.resize(start + numbers * NUMBER_TEXT_MAX + bytes + NUMBER_WRITE_SLACK);
        at = out.data() + start;
    }
    ~NumberWriter() { out.resize(static_cast<std::size_t>(at - out.data())); }
    NumberWriter(const NumberWriter&) = delete;
    NumberWriter& operator=(const NumberWriter&) = delete;

    void number(double value, bool single) { at = write_number(at, value, single); }
    // As JSON has it: null for a value that is not finite.
    void json_number(double value, bool single);
    // One value of each peak (its m/z or its intensity) as a JSON list's
    // items: commas between, null for a value that is not finite. Takes
    // room for `count` numbers and `count` other characters.
    void json_values(const orvoeng::Peak* peaks, std::size_t count, double orvoeng::Peak::*value,
                     bool single);
    // Each peak as a line "mz intensity\n". Takes room for 2 * `count`
    // numbers and 2 * `count` other characters.
    void peak_lines(const orvoeng::Peak* peaks, std::size_t count, bool single);
    void put(char c) { *at++ = c; }

private:
    std::string& out;
    std::size_t start;
    char* at;
};

// append_number as a string of its own.
std::string number_text(double value);

} // namespace orvohost
