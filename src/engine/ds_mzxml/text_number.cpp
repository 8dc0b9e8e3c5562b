#include "text_number.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>

namespace orvoeng {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_hex_digit(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Skips leading blanks and one sign; true when the sign was a minus.
bool skip_blanks_and_sign(std::string_view& text) {
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    text.remove_prefix(i);
    return negative;
}

// The integer of the leading digits, saturating at the type's limits.
// Numbers in the files are short: the digits are summed here, where a
// general conversion would cost a call and its checks on every value.
template <typename Int>
Int convert_integer(std::string_view text) {
    // Most values are a few digits and nothing before them: nine fit any
    // type here, so they need none of the checks below.
    std::uint32_t small = 0;
    std::size_t digits = 0;
    for (; digits < text.size() && digits < 9 && is_digit(text[digits]); ++digits)
        small = small * 10 + static_cast<std::uint32_t>(text[digits] - '0');
    if (digits > 0 && (digits == text.size() || !is_digit(text[digits])))
        return static_cast<Int>(small);

    const bool negative = skip_blanks_and_sign(text);
    std::size_t at = 0;
    while (at < text.size() && text[at] == '0')
        ++at;
    const std::size_t first = at;
    std::uint64_t magnitude = 0;
    while (at < text.size() && is_digit(text[at])) {
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[at] - '0');
        ++at;
        // Nineteen digits always fit; a twentieth may not, and whatever it
        // gives is past every limit below but the one it saturates to.
        if (at - first == 19)
            break;
    }
    if (at - first == 19 && at < text.size() && is_digit(text[at]))
        magnitude = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t max_positive = static_cast<std::uint64_t>(std::numeric_limits<Int>::max());
    if (negative) {
        if (magnitude > max_positive)
            return std::numeric_limits<Int>::min();
        return static_cast<Int>(-static_cast<Int>(magnitude));
    }
    if (magnitude > max_positive)
        return std::numeric_limits<Int>::max();
    return static_cast<Int>(magnitude);
}

bool starts_with_nocase(std::string_view text, std::string_view word) {
    if (text.size() < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != word[i])
            return false;
    }
    return true;
}

// Whether a number that from_chars found out of range is too large (rather
// than too small): the position of its first significant digit plus its
// exponent decides. `digit` tells the mantissa's digits; `digit_weight` is
// one digit's place in exponent units (1 for decimal, 4 bits per hex digit
// against a binary exponent).
template <typename IsDigit>
bool overflows(std::string_view text, IsDigit digit, char exponent_mark, char upper_mark,
               long long digit_weight) {
    bool significant = false;
    bool after_point = false;
    long long fraction_zeros = 0;
    long long integer_digits = 0;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !after_point) {
            after_point = true;
            continue;
        }
        if (!digit(c))
            break;
        if (!after_point) {
            if (significant || c != '0') {
                significant = true;
                ++integer_digits;
            }
        } else if (!significant) {
            if (c == '0')
                ++fraction_zeros;
            else
                significant = true;
        }
    }
    const long long place = integer_digits > 0 ? (integer_digits - 1) * digit_weight
                                               : -(fraction_zeros + 1) * digit_weight;
    long long exponent = 0;
    if (i < text.size() && (text[i] == exponent_mark || text[i] == upper_mark)) {
        std::size_t j = i + 1;
        const bool negative = j < text.size() && text[j] == '-';
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < text.size() && is_digit(text[j])) {
            const std::int64_t magnitude = convert_integer<std::int64_t>(text.substr(j));
            exponent = negative ? -magnitude : magnitude;
        }
    }
    // Saturating sum: either term alone may be huge.
    if (exponent > 0 && place > std::numeric_limits<long long>::max() - exponent)
        return true;
    if (exponent < 0 && place < std::numeric_limits<long long>::min() - exponent)
        return false;
    return place + exponent > 0;
}

// Powers of ten that a double holds exactly.
constexpr double EXACT_POWERS[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int MOST_EXACT_POWER = 22;

// Up to eight digits that start `bytes`, eight bytes in memory order: how
// many, and the integer they make. The bytes are tested and summed
// together, with no branch for each digit: a number's digit runs have every
// length, and a loop's exit mispredicts on most of them.
struct DigitRun {
    std::size_t count;
    std::uint64_t value;
};

[[gnu::always_inline]] inline DigitRun eight_digits(std::uint64_t bytes) {
    // A digit is 0x30 to 0x39: its high half is 3, and still 3 after adding
    // 6. An add that carries out of a byte starts at one that is no digit,
    // so it spoils only bytes after the run's end.
    constexpr std::uint64_t HIGH = 0xF0F0F0F0F0F0F0F0, THREE = 0x3030303030303030;
    const std::uint64_t other =
        ((bytes & HIGH) ^ THREE) | (((bytes + 0x0606060606060606) & HIGH) ^ THREE);
    const auto count =
        other == 0 ? std::size_t{8} : static_cast<std::size_t>(__builtin_ctzll(other)) / 8;
    if (count == 0)
        return {0, 0};
    // The run's digits moved to the top, zeros before them; the first byte
    // is the most significant digit. Pairs, then fours, then all eight.
    std::uint64_t v = (bytes & 0x0F0F0F0F0F0F0F0F) << (8 * (8 - count));
    v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FF;
    v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFF;
    v = (v * 10000 + (v >> 32)) & 0xFFFFFFFF;
    return {count, v};
}

constexpr std::uint64_t POWERS_OF_TEN[] = {1,      10,      100,      1000,     10000,
                                           100000, 1000000, 10000000, 100000000};

// The mantissa's exact limit: a double holds every integer up to it.
constexpr std::uint64_t MOST_EXACT = std::uint64_t{1} << 53;

// The largest mantissa that a run of n more digits keeps near MOST_EXACT:
// a table, where the test would otherwise divide for each run.
constexpr auto MOST_BEFORE_RUN = [] {
    std::array<std::uint64_t, std::size(POWERS_OF_TEN)> most{};
    for (std::size_t n = 0; n < most.size(); ++n)
        most[n] = MOST_EXACT / POWERS_OF_TEN[n];
    return most;
}();

// Appends the digits from `at` to `mantissa` and moves `at` past them;
// `count` is how many there were. False, with `at` anywhere, when the
// mantissa passes MOST_EXACT; it may end a run's digits above it, which
// the caller's own test finds.
[[gnu::always_inline]] inline bool append_digits(std::string_view text, std::size_t& at,
                                                 std::uint64_t& mantissa, std::size_t& count) {
    count = 0;
    for (;;) {
        DigitRun run{0, 0};
        if (std::endian::native == std::endian::little && at + 8 <= text.size()) {
            std::uint64_t bytes;
            std::memcpy(&bytes, text.data() + at, sizeof bytes);
            run = eight_digits(bytes);
        } else if (std::endian::native == std::endian::little && text.size() >= 8 &&
                   at < text.size()) {
            // The text's last eight bytes, those before `at` shifted out:
            // the zeros shifted in end the run. (One load for both cases,
            // with a shift always, measured 2% slower.)
            std::uint64_t bytes;
            std::memcpy(&bytes, text.data() + text.size() - 8, sizeof bytes);
            run = eight_digits(bytes >> (8 * (at + 8 - text.size())));
        } else {
            for (; at + run.count < text.size() && run.count < 8 && is_digit(text[at + run.count]);
                 ++run.count)
                run.value = run.value * 10 + static_cast<std::uint64_t>(text[at + run.count] - '0');
        }
        if (run.count == 0)
            return true;
        if (mantissa > MOST_BEFORE_RUN[run.count])
            return false;
        mantissa = mantissa * POWERS_OF_TEN[run.count] + run.value;
        at += run.count;
        count += run.count;
        if (run.count < 8)
            return true;
    }
}

// The decimal number that starts `text` (digits, a point, an exponent), as
// from_chars reads it, when its digits make an integer that a double holds
// exactly and its power of ten is one a double holds too: one product or
// quotient of two exact values is then rounded once, to the nearest, which
// is the correctly rounded value from_chars gives. Most values in the files
// are such numbers. False for any other text, which from_chars reads.
bool exact_decimal(std::string_view text, double& value) {
    // More places after the point, or a larger exponent, are left to
    // from_chars: the counts stay far from overflowing, and such texts are
    // rare.
    constexpr int MOST_DIGITS = 19; // of any 64-bit mantissa
    constexpr int MOST_PLACES = 2 * (MOST_EXACT_POWER + MOST_DIGITS);
    std::uint64_t mantissa = 0;
    std::size_t at = 0;
    std::size_t integer_digits = 0, places = 0;
    if (!append_digits(text, at, mantissa, integer_digits))
        return false;
    if (at < text.size() && text[at] == '.') {
        ++at;
        if (!append_digits(text, at, mantissa, places) ||
            places > static_cast<std::size_t>(MOST_PLACES))
            return false;
    }
    const int scale = static_cast<int>(places);
    const bool any = integer_digits + places > 0;
    if (!any)
        return false;
    int exponent = 0;
    // An exponent counts only when digits follow its mark.
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        std::size_t j = at + 1;
        const bool minus = j < text.size() && text[j] == '-';
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        for (; j < text.size() && is_digit(text[j]); ++j) {
            exponent = exponent * 10 + (text[j] - '0');
            if (exponent > MOST_PLACES)
                return false;
        }
        if (minus)
            exponent = -exponent;
    }
    if (mantissa == 0) {
        value = 0.0;
        return true;
    }
    const int power = exponent - scale;
    if (mantissa > MOST_EXACT || power < -MOST_EXACT_POWER || power > MOST_EXACT_POWER)
        return false;
    const auto exact = static_cast<double>(mantissa);
    value = power < 0 ? exact / EXACT_POWERS[-power] : exact * EXACT_POWERS[power];
    return true;
}

double signed_value(double magnitude, bool negative) {
    return negative ? -magnitude : magnitude;
}

} // namespace

std::int32_t text_to_int32(std::string_view text) {
    return convert_integer<std::int32_t>(text);
}

std::int64_t text_to_int64(std::string_view text) {
    return convert_integer<std::int64_t>(text);
}

double text_to_double(std::string_view text) {
    // Most values are plain decimals: one that starts with a digit, and is
    // no hexadecimal number, is one unless exact_decimal says otherwise.
    double value = 0.0;
    if (!text.empty() && is_digit(text[0]) &&
        !(text[0] == '0' && text.size() > 1 && (text[1] == 'x' || text[1] == 'X')) &&
        exact_decimal(text, value))
        return value;

    const bool negative = skip_blanks_and_sign(text);
    // One sign only: from_chars would take a second minus as its own.
    if (text.empty() || text[0] == '+' || text[0] == '-')
        return 0.0;

    // Words first: from_chars knows them too, but not after a plus sign.
    if (starts_with_nocase(text, "inf"))
        return signed_value(std::numeric_limits<double>::infinity(), negative);
    if (starts_with_nocase(text, "nan"))
        return signed_value(std::numeric_limits<double>::quiet_NaN(), negative);

    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
        (is_hex_digit(text[2]) || (text[2] == '.' && text.size() > 3 && is_hex_digit(text[3])))) {
        const std::string_view hex = text.substr(2);
        const auto result =
            std::from_chars(hex.data(), hex.data() + hex.size(), value, std::chars_format::hex);
        if (result.ec == std::errc::result_out_of_range)
            value = overflows(hex, is_hex_digit, 'p', 'P', 4)
                        ? std::numeric_limits<double>::infinity()
                        : 0.0;
        return signed_value(value, negative);
    }

    if (exact_decimal(text, value))
        return signed_value(value, negative);
    const auto result =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (result.ec == std::errc::invalid_argument)
        return 0.0;
    if (result.ec == std::errc::result_out_of_range)
        value =
            overflows(text, is_digit, 'e', 'E', 1) ? std::numeric_limits<double>::infinity() : 0.0;
    return signed_value(value, negative);
}

} // namespace orvoeng
