// Format-driven reading of date and time fields ("%Y-%m-%d", "%T", ...).
#include <pal/exception.h>
#include <pal/string.h>
#include <pal/time.h>

#include <bitset>
#include <cstddef>
#include <ctime>
#include <iterator>
#include <locale>
#include <sstream>
#include <string>

namespace {
constexpr const char* source_file = "time";

using size_type = std::string::size_type;
using Ctype = std::ctype<char>;

[[noreturn]] void fail(PAL::DateTimeCvtErrorCode code, size_type offset, unsigned int line) {
    PAL::raise<PAL::DateTimeCvtError>(source_file, line, code, static_cast<std::uint32_t>(offset));
}

// A numeric field: where it goes, its most digits, its range, and what the
// stored value adds to the one read (std::tm counts years from 1900, months
// and days of the year from 0).
struct NumberField {
    char conversion;
    int std::tm::*member;
    size_type width;
    int least;
    int greatest;
    int stored_offset;
};

constexpr NumberField NUMBER_FIELDS[] = {
    {'Y', &std::tm::tm_year, 4, 1900, 9999, -1900}, {'m', &std::tm::tm_mon, 2, 1, 12, -1},
    {'d', &std::tm::tm_mday, 2, 1, 31, 0},          {'e', &std::tm::tm_mday, 2, 1, 31, 0},
    {'j', &std::tm::tm_yday, 3, 1, 366, -1},        {'w', &std::tm::tm_wday, 1, 0, 6, 0},
    {'H', &std::tm::tm_hour, 2, 0, 24, 0},          {'M', &std::tm::tm_min, 2, 0, 59, 0},
    {'S', &std::tm::tm_sec, 2, 0, 61, 0},
};

// Conversions that stand for a whole format of their own.
struct Shorthand {
    char conversion;
    const char* format;
};

constexpr Shorthand SHORTHANDS[] = {
    {'c', "%a %b %d %H:%M:%S %Y"},
    {'D', "%m/%d/%y"},
    {'R', "%H:%M"},
    {'T', "%H:%M:%S"},
};

template <class Entry, std::size_t N>
const Entry* entry_for(const Entry (&table)[N], char conversion) {
    for (const Entry& entry : table)
        if (entry.conversion == conversion)
            return &entry;
    return nullptr;
}

// Characters a stream has taken from its buffer, whatever its state bits say.
size_type consumed(std::istream& in) {
    return static_cast<size_type>(in.rdbuf()->pubseekoff(0, std::ios_base::cur, std::ios_base::in));
}

// A decimal number of at most `width` digits; no sign, no leading space.
int read_number(const std::string& text, size_type& pos, size_type width, int least, int greatest,
                const std::locale& locale) {
    if (!std::use_facet<Ctype>(locale).is(Ctype::digit, text[pos]))
        fail(PAL::DATETIME_FORMAT_MISMATCH, pos, __LINE__);
    std::istringstream in(text.substr(pos, width));
    in.imbue(locale);
    std::int32_t value = 0;
    in >> std::noskipws >> value;
    if (in.fail())
        fail(PAL::DATETIME_FORMAT_MISMATCH, pos, __LINE__);
    if (value < least || value > greatest)
        fail(PAL::DATETIME_OUT_OF_RANGE, pos, __LINE__);
    pos += consumed(in);
    return value;
}

// Names, the locale's date and its time, as the locale's time_get reads them.
void read_locale_field(const std::string& text, size_type& pos, char conversion, std::tm& st_tm,
                       const std::locale& locale) {
    std::istringstream in(text.substr(pos));
    in.imbue(locale);
    const auto& facet = std::use_facet<std::time_get<char>>(locale);
    const std::istreambuf_iterator<char> begin(in), end;
    std::ios_base::iostate state = std::ios_base::goodbit;
    switch (conversion) {
    case 'a':
    case 'A':
        facet.get_weekday(begin, end, in, state, &st_tm);
        break;
    case 'b':
    case 'B':
    case 'h':
        facet.get_monthname(begin, end, in, state, &st_tm);
        break;
    case 'X':
        facet.get_time(begin, end, in, state, &st_tm);
        break;
    case 'x':
        facet.get_date(begin, end, in, state, &st_tm);
        break;
    default:
        PAL_RAISE(PAL::AssertFailure, L"Unexpected date/time sequence type");
    }
    if (state & (std::ios_base::failbit | std::ios_base::badbit))
        fail(PAL::DATETIME_FORMAT_MISMATCH, pos, __LINE__);
    pos += consumed(in);
}

std::string am_pm_designator(int hour, const std::locale& locale) {
    std::tm st_tm;
    PAL::clear_tm(st_tm);
    st_tm.tm_hour = hour;
    std::ostringstream out;
    out.imbue(locale);
    std::use_facet<std::time_put<char>>(locale).put(std::ostreambuf_iterator<char>(out), out, ' ',
                                                    &st_tm, 'p');
    return out.str();
}

// Whether the text at `pos` starts with the designator, regardless of case.
bool designator_matches(const std::string& designator, const std::string& text, size_type pos,
                        const std::locale& locale) {
    if (designator.empty())
        return true;
    try {
        return PAL::compare_nocase(text.substr(pos, designator.size()), designator, locale) == 0;
    } catch (const PAL::StrCodeCvtError&) {
        // Bytes the locale cannot read (or a character cut in two by the
        // designator's length) are no designator.
        return false;
    }
}

// True for the PM designator, false for AM.
bool read_am_pm(const std::string& text, size_type& pos, const std::locale& locale) {
    const std::string am = am_pm_designator(1, locale);
    const std::string pm = am_pm_designator(13, locale);
    if (am.empty() && pm.empty())
        fail(PAL::DATETIME_NO_AM_PM, pos, __LINE__);
    const bool am_matches = designator_matches(am, text, pos, locale);
    const bool pm_matches = designator_matches(pm, text, pos, locale);
    bool is_pm = false;
    if (am_matches && pm_matches) {
        PAL_ASSERT(am.size() != pm.size(), L"AM/PM strings are equal?");
        is_pm = pm.size() > am.size();
    } else if (am_matches || pm_matches) {
        is_pm = pm_matches;
    } else {
        fail(PAL::DATETIME_FORMAT_MISMATCH, pos, __LINE__);
    }
    pos += is_pm ? pm.size() : am.size();
    return is_pm;
}

} // namespace

namespace PAL {

size_type skip_space(const std::string& text, size_type pos, const std::locale& locale) {
    const auto& ctype = std::use_facet<Ctype>(locale);
    while (pos < text.size() && ctype.is(Ctype::space, text[pos]))
        ++pos;
    return pos < text.size() ? pos : text.size();
}

size_type parse_with_format(const std::string& text, const std::string& format, std::tm& st_tm,
                            const std::locale& locale, size_type start) {
    const auto& ctype = std::use_facet<Ctype>(locale);
    std::bitset<256> processed;
    bool pm = false;
    size_type pos = start;
    for (size_type f = 0; f < format.size(); ++f) {
        if (format[f] != '%') {
            if (ctype.is(Ctype::space, format[f])) {
                pos = skip_space(text, pos, locale);
            } else if (pos >= text.size()) {
                fail(DATETIME_INPUT_EXHAUSTED, pos, __LINE__);
            } else if (text[pos] != format[f]) {
                fail(DATETIME_FORMAT_MISMATCH, pos, __LINE__);
            } else {
                ++pos;
            }
            continue;
        }
        if (++f == format.size())
            fail(DATETIME_INVALID_SPECIFIER, pos, __LINE__);
        const char conversion = format[f];
        if (pos >= text.size() && conversion != 'n' && conversion != 't')
            fail(DATETIME_INPUT_EXHAUSTED, pos, __LINE__);
        if (const NumberField* field = entry_for(NUMBER_FIELDS, conversion)) {
            st_tm.*field->member =
                read_number(text, pos, field->width, field->least, field->greatest, locale) +
                field->stored_offset;
        } else if (const Shorthand* shorthand = entry_for(SHORTHANDS, conversion)) {
            pos = parse_with_format(text, shorthand->format, st_tm, locale, pos);
        } else {
            switch (conversion) {
            case '%':
                if (text[pos] != '%')
                    fail(DATETIME_FORMAT_MISMATCH, pos, __LINE__);
                ++pos;
                break;
            case 'y': {
                // Two-digit years stand for 1969 to 2068.
                const int year = read_number(text, pos, 2, 0, 99, locale);
                st_tm.tm_year = year < 69 ? year + 100 : year;
                break;
            }
            case 'I':
                st_tm.tm_hour = read_number(text, pos, 2, 1, 12, locale) % 12;
                break;
            case 'n':
            case 't':
                pos = skip_space(text, pos, locale);
                break;
            case 'p':
                pm = read_am_pm(text, pos, locale);
                break;
            case 'a':
            case 'A':
            case 'b':
            case 'B':
            case 'h':
            case 'x':
            case 'X':
                read_locale_field(text, pos, conversion, st_tm, locale);
                break;
            default:
                fail(DATETIME_INVALID_SPECIFIER, pos, __LINE__);
            }
        }
        processed.set(static_cast<unsigned char>(conversion));
    }

    if (processed.test('I') && processed.test('p') && pm) {
        PAL_ASSERT(st_tm.tm_hour < 12, L"st_tm.tm_hour >= 12");
        st_tm.tm_hour += 12;
    }
    // Hour 24 is only the midnight that ends a day.
    if (processed.test('H') && processed.test('M') && st_tm.tm_hour == 24 && st_tm.tm_min != 0)
        fail(DATETIME_OUT_OF_RANGE, pos, __LINE__);
    return pos;
}

} // namespace PAL
