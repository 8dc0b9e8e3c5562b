// Date-time parsing: ISO 8601 texts to seconds since 1970-01-01 00:00:00 UTC,
// built on a format-driven field reader.
#pragma once

#include <pal/api.h>

#include <climits>
#include <cstdint>
#include <ctime>
#include <locale>
#include <string>

namespace PAL {

// Flags of the ISO 8601 parsers.
enum DateTimeFlags : unsigned int {
    no_skip_space = 1,  // no white space before the date, a lone time, or after the end
    allow_trailing = 2, // text after the parsed part is no error (not for the entry)
    require_zone = 4,   // a zone designator must be present
    assume_utc = 8,     // a time without zone designator is UTC
};

enum DateTimeCvtErrorCode : std::int32_t {
    DATETIME_NO_ERROR = 0,
    DATETIME_INVALID_FLAGS = 1,
    DATETIME_INPUT_EXHAUSTED = 2,
    DATETIME_FORMAT_MISMATCH = 3,
    DATETIME_INVALID_SPECIFIER = 4,
    DATETIME_OUT_OF_RANGE = 5,
    DATETIME_NO_AM_PM = 6,
    DATETIME_TRAILING_INPUT = 7,
    DATETIME_NO_ZONE = 8,
    DATETIME_INVALID_TIME = 9,
};

// "No error", "Invalid flags passed", ..., "Unknown error <n>".
PAL_API std::wstring datetime_error_text(std::int32_t code);

// Zone offset meaning "the text named no zone".
constexpr std::int32_t NO_ZONE = INT32_MAX;

// Clears every field, then sets tm_mday 1 and tm_isdst -1.
PAL_API void clear_tm(std::tm& st_tm);

// t + d; -1 when t is -1, when a negative d takes the sum below 0, or when
// the sum would pass INT64_MAX.
PAL_API std::int64_t add_seconds(std::int64_t t, std::int32_t d);

// The entry: flags may hold no_skip_space, require_zone and assume_utc.
PAL_API std::int64_t datetime_from_iso8601(const std::string& text, unsigned int flags,
                                           const std::locale& locale,
                                           std::string::size_type start = 0);

PAL_API std::string::size_type parse_iso8601_datetime(const std::string& text, std::tm& st_tm,
                                                      double& fraction, std::int32_t& zone,
                                                      unsigned int flags, const std::locale& locale,
                                                      std::string::size_type pos);

PAL_API std::string::size_type parse_iso8601_date(const std::string& text, std::tm& st_tm,
                                                  unsigned int flags, const std::locale& locale,
                                                  std::string::size_type pos, bool embedded);

PAL_API std::string::size_type parse_iso8601_time(const std::string& text, std::tm& st_tm,
                                                  double& fraction, std::int32_t& zone,
                                                  unsigned int flags, const std::locale& locale,
                                                  std::string::size_type pos, bool embedded);

PAL_API std::string::size_type parse_iso8601_hms(const std::string& text,
                                                 std::string::size_type pos, int& digits,
                                                 std::tm& st_tm, bool seconds_allowed,
                                                 const std::locale& locale);

// Reads fields of `text` from `start` as `format` says ("%Y-%m-%d", "%T"...)
// and returns the position after the last character consumed.
PAL_API std::string::size_type parse_with_format(const std::string& text, const std::string& format,
                                                 std::tm& st_tm, const std::locale& locale,
                                                 std::string::size_type start = 0);

// First position at or after `pos` that is not white space, or the length.
PAL_API std::string::size_type skip_space(const std::string& text, std::string::size_type pos,
                                          const std::locale& locale);

} // namespace PAL
