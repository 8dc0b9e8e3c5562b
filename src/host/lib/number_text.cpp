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
    char buffer[24];
    char* const end = buffer + sizeof buffer;
    const char* const digits = digits_before(end, decimal.significand);
    const int count = static_cast<int>(end - digits);
    const int exponent = decimal.exponent;
    const int first = exponent + count - 1; // the power of ten of the first digit
    const auto copy = [&at](const char* from, int n) {
        std::memcpy(at, from, static_cast<std::size_t>(n));
        at += n;
    };
    if (first < -4 || first >= 16) {
        *at++ = digits[0];
        if (count > 1) {
            *at++ = '.';
            copy(digits + 1, count - 1);
        }
        *at++ = 'e';
        *at++ = first < 0 ? '-' : '+';
        const unsigned power = static_cast<unsigned>(first < 0 ? -first : first);
        char exponent_text[8];
        char* const exponent_end = exponent_text + sizeof exponent_text;
        char* from = digits_before(exponent_end, power);
        if (exponent_end - from < 2) // at least two digits, as in 1e-05
            *--from = '0';
        copy(from, static_cast<int>(exponent_end - from));
    } else if (exponent >= 0) {
        copy(digits, count);
        std::memset(at, '0', static_cast<std::size_t>(exponent));
        at += exponent;
    } else if (count + exponent > 0) {
        copy(digits, count + exponent);
        *at++ = '.';
        copy(digits + count + exponent, -exponent);
    } else {
        *at++ = '0';
        *at++ = '.';
        std::memset(at, '0', static_cast<std::size_t>(-(count + exponent)));
        at += -(count + exponent);
        copy(digits, count);
    }
    return at;
}

template <class Number>
void append_shortest(std::string& out, Number value) {
    char text[32]; // the longest, "-2.2250738585072014e-308", is 24
    out.append(text, static_cast<std::size_t>(write_shortest(text, value) - text));
}

} // namespace

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
