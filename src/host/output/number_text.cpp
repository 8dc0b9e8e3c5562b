#include "number_text.h"

#include <fmt/format.h>

#include <bit>
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
// From the count of binary digits: 1233 / 4096 is just above log10(2), so
// the estimate is the count or one less.
template <class Unsigned>
int digit_count(Unsigned value) {
    const auto estimate = (static_cast<unsigned>(std::bit_width(value)) * 1233) >> 12;
    return static_cast<int>(estimate) + (value >= powers_of_ten[estimate] ? 1 : 0);
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

// e+XX, with at least two digits, as in 1e-05.
char* write_power(char* at, int first) {
    *at++ = 'e';
    *at++ = first < 0 ? '-' : '+';
    const unsigned power = static_cast<unsigned>(first < 0 ? -first : first);
    const int width = power >= 100 ? 3 : 2;
    digits_exactly(at + width, power, width);
    return at + width;
}

// d.ddde+XX
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
    return write_power(at, first);
}

static_assert(std::endian::native == std::endian::little,
              "eight_digits lays its digits out for a little-endian store");

// The 8 decimal digits of n < 10^8, zeros first, as the ASCII bytes of a
// little-endian store: both halves of four digits, then the four pairs,
// then the eight digits are split at once in the lanes of one register.
std::uint64_t eight_digits(std::uint32_t n) {
    const std::uint64_t halves = (n / 10000) | (std::uint64_t{n % 10000} << 32);
    const std::uint64_t hundreds = ((halves * 10486) >> 20) & 0x0000007F0000007FULL;
    const std::uint64_t two_digits = hundreds | ((halves - hundreds * 100) << 16);
    const std::uint64_t tens = ((two_digits * 103) >> 10) & 0x000F000F000F000FULL;
    return (tens | ((two_digits - tens * 10) << 8)) + 0x3030303030303030ULL;
}

void store(char* at, std::uint64_t bytes) {
    std::memcpy(at, &bytes, sizeof bytes);
}

// The `count` (at most 9) digits of a float's significand with a point
// after the first `whole` of them (0 < whole < count), from registers: no
// digit is stored and read back.
char* write_with_point(char* at, std::uint32_t significand, int count, int whole) {
    if (count == 9) {
        *at++ = static_cast<char>('0' + significand / 100000000);
        significand %= 100000000;
        --count;
        if (--whole == 0) {
            *at = '.';
            store(at + 1, eight_digits(significand));
            return at + 1 + count;
        }
    }
    const std::uint64_t digits =
        eight_digits(significand) >> (8 * static_cast<unsigned>(8 - count));
    store(at, digits);
    at[whole] = '.';
    store(at + whole + 1, digits >> (8 * static_cast<unsigned>(whole)));
    return at + 1 + count;
}

// The `count` (at most 9) digits of a float's significand.
char* put_digits(char* at, std::uint32_t significand, int count) {
    if (count == 9) {
        *at++ = static_cast<char>('0' + significand / 100000000);
        significand %= 100000000;
        count = 8;
    }
    store(at, eight_digits(significand) >> (8 * static_cast<unsigned>(8 - count)));
    return at + count;
}

constexpr std::uint64_t EIGHT_ZEROS = 0x3030303030303030ULL;

// A float's shortest digits laid out as fmt's "{}" lays them out, every
// part from registers.
char* write_float_digits(char* at, std::uint32_t significand, int count, int exponent) {
    const int first = exponent + count - 1;
    if (first < -4 || first >= 16) {
        if (count == 1)
            *at++ = static_cast<char>('0' + significand);
        else
            at = write_with_point(at, significand, count, 1);
        return write_power(at, first);
    }
    if (exponent >= 0) {
        // At most 15 zeros follow: first < 16.
        at = put_digits(at, significand, count);
        store(at, EIGHT_ZEROS);
        store(at + 8, EIGHT_ZEROS);
        return at + exponent;
    }
    const int whole = count + exponent;
    if (whole > 0)
        return write_with_point(at, significand, count, whole);
    // 0.ddd or up to three zeros after the point: first >= -4.
    store(at, EIGHT_ZEROS);
    at[1] = '.';
    return put_digits(at + 2 - whole, significand, count);
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
    if constexpr (sizeof(significand) == 4)
        return write_float_digits(at, significand, count, exponent);
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
        // Each part written where it ends up: digits laid out and then
        // moved would be read back before the processor has stored them.
        const int fraction = -exponent;
        const auto scale = powers_of_ten[fraction];
        digits_before(at + whole, significand / scale);
        at[whole] = '.';
        digits_exactly(at + whole + 1 + fraction, significand % scale, fraction);
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
    char text[NUMBER_TEXT_MAX + NUMBER_WRITE_SLACK];
    out.append(text, static_cast<std::size_t>(write_shortest(text, value) - text));
}

template <class Number>
char* json_values_as(char* at, const orvoeng::Peak* peaks, std::size_t count,
                     double orvoeng::Peak::*member) {
    for (std::size_t i = 0; i < count; ++i) {
        if (i)
            *at++ = ',';
        const double value = peaks[i].*member;
        if (std::isfinite(value)) {
            at = write_shortest(at, static_cast<Number>(value));
        } else {
            std::memcpy(at, "null", 4);
            at += 4;
        }
    }
    return at;
}

template <class Number>
char* peak_lines_as(char* at, const orvoeng::Peak* peaks, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        at = write_shortest(at, static_cast<Number>(peaks[i].mz));
        *at++ = ' ';
        at = write_shortest(at, static_cast<Number>(peaks[i].intensity));
        *at++ = '\n';
    }
    return at;
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

void NumberWriter::json_values(const orvoeng::Peak* peaks, std::size_t count,
                               double orvoeng::Peak::*value, bool single) {
    at = single ? json_values_as<float>(at, peaks, count, value)
                : json_values_as<double>(at, peaks, count, value);
}

void NumberWriter::peak_lines(const orvoeng::Peak* peaks, std::size_t count, bool single) {
    at = single ? peak_lines_as<float>(at, peaks, count) : peak_lines_as<double>(at, peaks, count);
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
