#include "number_text.h"

#include <fmt/format.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace orvohost {

namespace {

// The shortest digits that read back to the value come from fmt's
// Dragonbox; they are laid out here as fmt's "{}" lays them out (fixed
// notation for decimal exponents from -4 to 15, else d.ddde±XX), without
// fmt's general path of widths, locales and digit grouping, which cost more
// than finding the digits. A test holds the two to the same text.
constexpr char pairs[] = "0001020304050607080910111213141516171819"
                         "2021222324252627282930313233343536373839"
                         "4041424344454647484950515253545556575859"
                         "6061626364656667686970717273747576777879"
                         "8081828384858687888990919293949596979899";

// Writes the decimal digits of `value` ending at `end`; returns their start.
template <class Unsigned>
char* digits_before(char* end, Unsigned value) {
    while (value >= 100) {
        end -= 2;
        std::memcpy(end, pairs + 2 * static_cast<unsigned>(value % 100), 2);
        value /= 100;
    }
    if (value >= 10) {
        end -= 2;
        std::memcpy(end, pairs + 2 * static_cast<unsigned>(value), 2);
    } else {
        *--end = static_cast<char>('0' + value);
    }
    return end;
}

constexpr std::uint64_t powers_of_ten[] = {1,
                                           10,
                                           100,
                                           1000,
                                           10000,
                                           100000,
                                           1000000,
                                           10000000,
                                           100000000,
                                           1000000000,
                                           10000000000,
                                           100000000000,
                                           1000000000000,
                                           10000000000000,
                                           100000000000000,
                                           1000000000000000,
                                           10000000000000000,
                                           100000000000000000,
                                           1000000000000000000};

// The shortest significand has at most 9 digits for a float, 17 for a double.
template <class Unsigned>
int digit_count(Unsigned value) {
    int count = 1;
    while (count < 18 && value >= powers_of_ten[count])
        ++count;
    return count;
}

// Writes exactly `count` digits of `value` (zeros first) ending at `end`.
template <class Unsigned>
void digits_exactly(char* end, Unsigned value, int count) {
    for (; count >= 2; count -= 2) {
        end -= 2;
        std::memcpy(end, pairs + 2 * static_cast<unsigned>(value % 100), 2);
        value /= 100;
    }
    if (count)
        *--end = static_cast<char>('0' + value % 10);
}

// d.ddde+XX, with at least two exponent digits, as in 1e-05.
template <class Unsigned>
char* write_exponential(char* at, Unsigned significand, int count, int first) {
    char digits[24];
    digits_before(digits + count, significand);
    *at++ = digits[0];
    if (count > 1) {
        *at++ = '.';
        std::memcpy(at, digits + 1, static_cast<std::size_t>(count - 1));
        at += count - 1;
    }
    *at++ = 'e';
    *at++ = first < 0 ? '-' : '+';
    const unsigned power = static_cast<unsigned>(first < 0 ? -first : first);
    const int width = power >= 100 ? 3 : 2;
    digits_exactly(at + width, power, width);
    return at + width;
}

template <class Number>
char* write_shortest(char* at, Number value) {
    if (std::signbit(value)) {
        *at++ = '-';
        value = -value;
    }
    if (!std::isfinite(value)) {
        std::memcpy(at, std::isnan(value) ? "nan" : "inf", 3);
        return at + 3;
    }
    if (value == 0) {
        *at++ = '0';
        return at;
    }
    const auto decimal = fmt::detail::dragonbox::to_decimal(value);
    const auto significand = decimal.significand;
    const int count = digit_count(significand);
    const int exponent = decimal.exponent;
    const int first = exponent + count - 1; // the power of ten of the first digit
    if (first < -4 || first >= 16)
        return write_exponential(at, significand, count, first);
    // Fixed notation, the digits written where they end up.
    if (exponent >= 0) {
        digits_before(at + count, significand);
        at += count;
        std::memset(at, '0', static_cast<std::size_t>(exponent));
        return at + exponent;
    }
    const int whole = count + exponent; // digits before the point
    if (whole > 0) {
        // The digits go one place right of their start, and the whole
        // part (a few digits) moves back over that place: no division.
        digits_before(at + 1 + count, significand);
        for (int i = 0; i < whole; ++i)
            at[i] = at[i + 1];
        at[whole] = '.';
        return at + 1 + count;
    }
    *at++ = '0';
    *at++ = '.';
    std::memset(at, '0', static_cast<std::size_t>(-whole));
    at += -whole;
    digits_before(at + count, significand);
    return at + count;
}

template <class Number>
void append_shortest(std::string& out, Number value) {
    char text[32]; // the longest, "-2.2250738585072014e-308", is 24
    out.append(text, static_cast<std::size_t>(write_shortest(text, value) - text));
}

} // namespace

char* write_number(char* at, double value, bool single) {
    return single ? write_shortest(at, static_cast<float>(value)) : write_shortest(at, value);
}

void NumberWriter::json_number(double value, bool single) {
    if (std::isfinite(value)) {
        number(value, single);
    } else {
        std::memcpy(at, "null", 4);
        at += 4;
    }
}

bool is_single(double value) {
    // A double beyond the float range has no float to be: converting it
    // would be undefined.
    if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max())
        return false;
    return std::isnan(value) || static_cast<double>(static_cast<float>(value)) == value;
}

void append_as_float(std::string& out, double value) {
    append_shortest(out, static_cast<float>(value));
}

void append_number(std::string& out, double value) {
    append_shortest(out, value);
}

std::string number_text(double value) {
    std::string text;
    append_number(text, value);
    return text;
}

} // namespace orvohost
