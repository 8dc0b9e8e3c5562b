#include "xml_duration.h"

#include "text_number.h"

#include <cstddef>

namespace orvoeng {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_hex_digit(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool starts_with_nocase(std::string_view text, std::string_view word) {
    if (text.size() < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (lower(text[i]) != word[i])
            return false;
    return true;
}

// Digits with at most one point, from `i`; `digits` counts the digits and
// `point` tells whether the point was there.
std::size_t mantissa_end(std::string_view text, std::size_t i, bool hex, std::size_t& digits,
                         bool& point) {
    const auto digit = [hex](char c) { return hex ? is_hex_digit(c) : is_digit(c); };
    digits = 0;
    for (; i < text.size() && digit(text[i]); ++i)
        ++digits;
    point = i < text.size() && text[i] == '.';
    if (point)
        for (++i; i < text.size() && digit(text[i]); ++i)
            ++digits;
    return i;
}

// An exponent after the mantissa counts only when digits follow its mark.
std::size_t exponent_end(std::string_view text, std::size_t i, char mark) {
    if (i >= text.size() || lower(text[i]) != mark)
        return i;
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-'))
        ++j;
    if (j >= text.size() || !is_digit(text[j]))
        return i;
    while (j < text.size() && is_digit(text[j]))
        ++j;
    return j;
}

// Length of the number that starts `text` as "%lf" takes it: blanks, a sign,
// then decimal or hexadecimal digits with a point and an exponent, or "inf",
// "infinity", "nan", "nan(...)". 0 when there is no number.
std::size_t number_length(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i]))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    const std::string_view rest = text.substr(i);
    if (starts_with_nocase(rest, "infinity"))
        return i + 8;
    if (starts_with_nocase(rest, "inf"))
        return i + 3;
    if (starts_with_nocase(rest, "nan")) {
        std::size_t j = i + 3;
        if (j < text.size() && text[j] == '(') {
            std::size_t k = j + 1;
            while (k < text.size() &&
                   (is_digit(text[k]) || (lower(text[k]) >= 'a' && lower(text[k]) <= 'z') ||
                    text[k] == '_'))
                ++k;
            if (k < text.size() && text[k] == ')')
                j = k + 1;
        }
        return j;
    }
    std::size_t digits = 0;
    bool point = false;
    if (starts_with_nocase(rest, "0x")) {
        // Like scanf, a bare "0x" is no number at all.
        const std::size_t end = mantissa_end(text, i + 2, true, digits, point);
        return digits > 0 ? exponent_end(text, end, 'p') : 0;
    }
    const std::size_t end = mantissa_end(text, i, false, digits, point);
    return digits > 0 ? exponent_end(text, end, 'e') : 0;
}

// The old reading: "PT", then a number; what follows it is not examined.
bool read_pattern(std::string_view text, double& seconds) {
    if (!text.starts_with("PT"))
        return false;
    const std::string_view rest = text.substr(2);
    if (number_length(rest) == 0)
        return false;
    seconds = text_to_double(rest);
    return true;
}

// Digits with an optional point ("12", "12.", "12.5", ".5") at `i`; their
// length, 0 when there are none. `point` tells whether a point was seen.
std::size_t decimal_length(std::string_view text, std::size_t i, bool& point) {
    std::size_t digits = 0;
    const std::size_t end = mantissa_end(text, i, false, digits, point);
    return digits > 0 ? end - i : 0;
}

struct Field {
    char mark;
    bool time;   // after the "T"
    double unit; // seconds; 0 for years and months, which have no fixed length
};

constexpr Field fields[] = {{'Y', false, 0.0},   {'M', false, 0.0}, {'D', false, 86400.0},
                            {'H', true, 3600.0}, {'M', true, 60.0}, {'S', true, 1.0}};
constexpr std::size_t field_count = sizeof fields / sizeof fields[0];

// The XML Schema form, fields in order, each at most once.
bool read_schema_duration(std::string_view text, double& seconds) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' ||
                             text.back() == '\r'))
        text.remove_suffix(1);
    if (text.empty() || text[0] != 'P')
        return false;
    double values[field_count] = {};
    std::size_t next_field = 0;
    bool in_time = false;
    bool any_field = false;
    bool any_time_field = false;
    std::size_t i = 1;
    while (i < text.size()) {
        if (text[i] == 'T') {
            if (in_time)
                return false;
            in_time = true;
            if (next_field < 3)
                next_field = 3;
            ++i;
            continue;
        }
        bool point = false;
        const std::size_t length = decimal_length(text, i, point);
        if (length == 0 || i + length >= text.size())
            return false;
        const char mark = text[i + length];
        std::size_t f = next_field;
        while (f < field_count && !(fields[f].mark == mark && fields[f].time == in_time))
            ++f;
        if (f == field_count || (point && fields[f].unit == 0.0))
            return false;
        values[f] = text_to_double(text.substr(i, length));
        if (fields[f].unit == 0.0 && values[f] != 0.0)
            return false;
        any_field = true;
        any_time_field = any_time_field || in_time;
        next_field = f + 1;
        i += length + 1;
    }
    if (!any_field || (in_time && !any_time_field))
        return false;
    // Zero fields add nothing, so "PT<n>S" stays exactly n.
    seconds = values[2] * 86400.0 + values[3] * 3600.0 + values[4] * 60.0 + values[5];
    return true;
}

// The form nearly every writer writes, "PT<decimal>S" (trailing blanks as
// the schema form takes them): its seconds are the number, read alone, as
// the schema form's sum of zero fields and the seconds gives them.
bool read_plain_seconds(std::string_view text, double& seconds) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' ||
                             text.back() == '\r'))
        text.remove_suffix(1);
    if (text.size() < 4 || !text.starts_with("PT") || text.back() != 'S')
        return false;
    const std::string_view number = text.substr(2, text.size() - 3);
    bool point = false;
    if (decimal_length(number, 0, point) != number.size())
        return false;
    seconds = text_to_double(number);
    return true;
}

} // namespace

bool read_xml_duration(std::string_view text, double& seconds) {
    return read_plain_seconds(text, seconds) || read_schema_duration(text, seconds) ||
           read_pattern(text, seconds);
}

} // namespace orvoeng
