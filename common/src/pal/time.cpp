// ISO 8601 date-time texts to seconds since 1970-01-01 00:00:00 UTC.
#include <pal/exception.h>
#include <pal/time.h>

#include "code_text.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <sstream>

namespace {
constexpr const char* source_file = "time";

using size_type = std::string::size_type;
using Ctype = std::ctype<char>;

constexpr std::int64_t SECONDS_PER_DAY = 86400;

[[noreturn]] void fail(PAL::DateTimeCvtErrorCode code, size_type offset, unsigned int line) {
    PAL::raise<PAL::DateTimeCvtError>(source_file, line, code, static_cast<std::uint32_t>(offset));
}

// Code 1 carries no offset: the flags are not part of the text.
[[noreturn]] void invalid_flags(unsigned int line) {
    PAL::raise<PAL::DateTimeCvtError>(source_file, line, PAL::DATETIME_INVALID_FLAGS);
}

void check_flags(unsigned int flags, unsigned int allowed, unsigned int line) {
    if ((flags & ~allowed) != 0)
        invalid_flags(line);
}

// The end of a date or time read on its own: white space unless
// no_skip_space, then the end of the text unless allow_trailing.
size_type after_value(const std::string& text, size_type pos, unsigned int flags,
                      const std::locale& locale) {
    if (!(flags & PAL::no_skip_space))
        pos = PAL::skip_space(text, pos, locale);
    if (pos < text.size() && !(flags & PAL::allow_trailing))
        fail(PAL::DATETIME_TRAILING_INPUT, pos, __LINE__);
    return pos;
}

// How a date or a time of so many digits is read, in the basic style and
// with separators. The shortest forms have nothing to separate, so they come
// in the basic style only.
struct DigitsForm {
    int digits;
    const char* basic;
    const char* extended; // null: basic style only
};

const char* format_of(std::span<const DigitsForm> forms, int digits, bool basic_style,
                      size_type at) {
    for (const DigitsForm& form : forms) {
        if (form.digits != digits)
            continue;
        // A separator after a lone year or hour separates nothing: "2012-"
        // and "12:" are texts that do not fit, not broken promises.
        if (!form.extended && !basic_style)
            fail(PAL::DATETIME_FORMAT_MISMATCH, at, __LINE__);
        return basic_style ? form.basic : form.extended;
    }
    fail(PAL::DATETIME_FORMAT_MISMATCH, at, __LINE__);
}

bool digit_at(const std::string& text, size_type pos, const std::locale& locale) {
    return pos < text.size() && std::use_facet<Ctype>(locale).is(Ctype::digit, text[pos]);
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

// Days from 1970-01-01 to the given proleptic Gregorian date (month 1..12).
std::int64_t days_from_civil(std::int64_t year, std::int64_t month, std::int64_t day) {
    year -= month <= 2;
    const std::int64_t era = floor_div(year, 400);
    const std::int64_t year_of_era = year - era * 400;
    const std::int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

// The fields read as UTC, independent of the process's time zone. Fields out
// of range carry into the next unit as mktime carries them (day 31 of a
// 30-day month is the 1st of the next, second 60 the next minute).
std::int64_t utc_seconds(const std::tm& st_tm) {
    const std::int64_t month = st_tm.tm_mon;
    const std::int64_t year = 1900 + std::int64_t{st_tm.tm_year} + floor_div(month, 12);
    const std::int64_t days =
        days_from_civil(year, month - floor_div(month, 12) * 12 + 1, 1) + st_tm.tm_mday - 1;
    return days * SECONDS_PER_DAY + std::int64_t{st_tm.tm_hour} * 3600 +
           std::int64_t{st_tm.tm_min} * 60 + st_tm.tm_sec;
}

// Seconds since 1970 of the fields, or -1 when the time lies before 1970 or
// cannot be represented.
std::int64_t to_seconds(std::tm st_tm, std::int32_t zone) {
    if (zone == PAL::NO_ZONE) {
        // Local time: only the platform knows the zone's rules over the years.
        st_tm.tm_isdst = -1;
        const std::time_t local = std::mktime(&st_tm);
        return local < 0 ? -1 : static_cast<std::int64_t>(local);
    }
    const std::int64_t utc = utc_seconds(st_tm) - zone;
    return utc < 0 ? -1 : utc;
}

} // namespace

namespace PAL {

std::wstring datetime_error_text(std::int32_t code) {
    static constexpr CodeText texts[] = {
        {DATETIME_NO_ERROR, L"No error"},
        {DATETIME_INVALID_FLAGS, L"Invalid flags passed"},
        {DATETIME_INPUT_EXHAUSTED, L"Input buffer exhausted"},
        {DATETIME_FORMAT_MISMATCH, L"Input does not match expected format"},
        {DATETIME_INVALID_SPECIFIER, L"Invalid conversion specifier"},
        {DATETIME_OUT_OF_RANGE, L"Value is out of range"},
        {DATETIME_NO_AM_PM, L"AM/PM are not supported in the specified locale"},
        {DATETIME_TRAILING_INPUT, L"Unused trailing input data"},
        {DATETIME_NO_ZONE, L"No time zone information"},
        {DATETIME_INVALID_TIME, L"Invalid calendar time value"},
    };
    return code_text(texts, code);
}

std::wstring DateTimeCvtError::description() const {
    std::wstring text = L"Date/time conversion error: " + datetime_error_text(error);
    if (has_offset)
        text += offset_text(offset);
    return text;
}

void clear_tm(std::tm& st_tm) {
    st_tm = std::tm{};
    st_tm.tm_mday = 1;
    st_tm.tm_isdst = -1;
}

std::int64_t add_seconds(std::int64_t t, std::int32_t d) {
    if (t == -1)
        return -1;
    if (d < 0 && t < -std::int64_t{d})
        return -1;
    if (d >= 0 && t > std::numeric_limits<std::int64_t>::max() - d)
        return -1;
    return t + d;
}

std::int64_t datetime_from_iso8601(const std::string& text, unsigned int flags,
                                   const std::locale& locale, size_type start) {
    check_flags(flags, no_skip_space | require_zone | assume_utc, __LINE__);
    std::tm st_tm;
    clear_tm(st_tm);
    double fraction = 0.0;
    std::int32_t zone = NO_ZONE;
    const size_type end = parse_iso8601_datetime(text, st_tm, fraction, zone, flags, locale, start);
    PAL_ASSERT(end == text.size(), L"Trailing chars in date string");

    // 24:00 is the midnight that ends the day.
    const bool next_day = st_tm.tm_hour == 24;
    if (next_day)
        st_tm.tm_hour = 0;
    std::int64_t seconds = to_seconds(st_tm, zone);
    if (next_day) {
        if (seconds == -1 || seconds > std::numeric_limits<std::int64_t>::max() - SECONDS_PER_DAY)
            fail(DATETIME_INVALID_TIME, end, __LINE__);
        seconds += SECONDS_PER_DAY;
    }
    if (seconds == -1)
        fail(DATETIME_INVALID_TIME, end, __LINE__);
    return seconds;
}

size_type parse_iso8601_datetime(const std::string& text, std::tm& st_tm, double& fraction,
                                 std::int32_t& zone, unsigned int flags, const std::locale& locale,
                                 size_type pos) {
    check_flags(flags, no_skip_space | allow_trailing | require_zone | assume_utc, __LINE__);
    pos = parse_iso8601_date(text, st_tm, flags, locale, pos, true);
    if (pos < text.size() && text[pos] == 'T')
        return parse_iso8601_time(text, st_tm, fraction, zone, flags, locale, pos + 1, true);
    fail(DATETIME_FORMAT_MISMATCH, pos, __LINE__);
}

size_type parse_iso8601_date(const std::string& text, std::tm& st_tm, unsigned int flags,
                             const std::locale& locale, size_type pos, bool embedded) {
    if (!embedded)
        check_flags(flags, no_skip_space | allow_trailing, __LINE__);
    if (!(flags & no_skip_space))
        pos = skip_space(text, pos, locale);

    // Look ahead for the form: separators, a week marker, how many digits.
    const size_type start = pos;
    int digits = 0;
    bool basic_style = true;
    bool week = false;
    for (size_type i = 0; start + i < text.size(); ++i) {
        const char c = text[start + i];
        if (c == '-') {
            if (i == 4)
                basic_style = false;
            else if (!(i == 7 && !basic_style && !week) && !(i == 8 && !basic_style && week))
                break;
        } else if (c == 'W') {
            if (!(i == 4 || (i == 5 && !basic_style)))
                break;
            week = true;
        } else if (digit_at(text, start + i, locale)) {
            if (++digits == 8)
                break;
        } else {
            break;
        }
    }

    if (week)
        PAL_RAISE(AssertFailure, L"Not implemented");
    static constexpr DigitsForm forms[] = {
        {8, "%Y%m%d", "%Y-%m-%d"},
        {7, "%Y%j", "%Y-%j"},
        {6, "%Y%m", "%Y-%m"},
        {4, "%Y", nullptr},
    };
    pos =
        parse_with_format(text, format_of(forms, digits, basic_style, start), st_tm, locale, start);
    if (digits == 7) {
        // A day of the year: day N of January carries into the right month
        // and day.
        st_tm.tm_mon = 0;
        st_tm.tm_mday = st_tm.tm_yday + 1;
    }
    return embedded ? pos : after_value(text, pos, flags, locale);
}

size_type parse_iso8601_time(const std::string& text, std::tm& st_tm, double& fraction,
                             std::int32_t& zone, unsigned int flags, const std::locale& locale,
                             size_type pos, bool embedded) {
    if (!embedded)
        check_flags(flags, no_skip_space | allow_trailing | require_zone | assume_utc, __LINE__);
    if ((flags & require_zone) && (flags & assume_utc))
        invalid_flags(__LINE__);
    if (!embedded && !(flags & no_skip_space))
        pos = skip_space(text, pos, locale);

    int digits = 0;
    pos = parse_iso8601_hms(text, pos, digits, st_tm, true, locale);

    if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
        ++pos;
        if (!digit_at(text, pos, locale))
            fail(DATETIME_FORMAT_MISMATCH, pos, __LINE__);
        std::istringstream in("0." + text.substr(pos));
        in.imbue(std::locale::classic());
        double f = 0.0;
        in >> std::noskipws >> f;
        if (in.fail())
            fail(DATETIME_FORMAT_MISMATCH, pos, __LINE__);
        if (f < 0.0 || f > 1.0)
            fail(DATETIME_OUT_OF_RANGE, pos, __LINE__);
        const auto read = static_cast<std::streamoff>(
            in.rdbuf()->pubseekoff(0, std::ios_base::cur, std::ios_base::in));
        PAL_ASSERT(read >= 0, L"Negative buffer read count");
        PAL_ASSERT(read >= 2, L"Unexpected buffer read count");
        pos += static_cast<size_type>(read) - 2;
        // A decimal fraction belongs to the last unit written.
        if (digits == 2) {
            f *= 60.0;
            st_tm.tm_min = static_cast<int>(std::floor(f));
            f -= std::floor(f);
        }
        if (digits <= 4) {
            f *= 60.0;
            st_tm.tm_sec = static_cast<int>(std::floor(f));
            f -= std::floor(f);
        }
        fraction = f;
    }

    bool designator = false;
    if (pos < text.size() && text[pos] == 'Z') {
        zone = 0;
        ++pos;
        designator = true;
    } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        std::tm offset;
        clear_tm(offset);
        int offset_digits = 0;
        const size_type end =
            parse_iso8601_hms(text, pos + 1, offset_digits, offset, false, locale);
        if (offset.tm_hour > 14 || (offset.tm_hour == 14 && offset.tm_min != 0))
            fail(DATETIME_OUT_OF_RANGE, end, __LINE__);
        const std::int32_t seconds = (offset.tm_hour * 60 + offset.tm_min) * 60;
        zone = text[pos] == '-' ? -seconds : seconds;
        pos = end;
        designator = true;
    }
    if (!designator) {
        if (flags & require_zone)
            fail(DATETIME_NO_ZONE, pos, __LINE__);
        if (flags & assume_utc)
            zone = 0;
    }

    return after_value(text, pos, flags, locale);
}

size_type parse_iso8601_hms(const std::string& text, size_type pos, int& digits, std::tm& st_tm,
                            bool seconds_allowed, const std::locale& locale) {
    const int most = seconds_allowed ? 6 : 4;
    bool basic_style = true;
    digits = 0;
    for (size_type i = 0; pos + i < text.size(); ++i) {
        if (text[pos + i] == ':') {
            if (i == 2)
                basic_style = false;
            else if (!(i == 5 && !basic_style))
                break;
        } else if (digit_at(text, pos + i, locale)) {
            if (++digits == most)
                break;
        } else {
            break;
        }
    }

    static constexpr DigitsForm forms[] = {
        {6, "%H%M%S", "%H:%M:%S"},
        {4, "%H%M", "%H:%M"},
        {2, "%H", nullptr},
    };
    return parse_with_format(text, format_of(forms, digits, basic_style, pos), st_tm, locale, pos);
}

} // namespace PAL
