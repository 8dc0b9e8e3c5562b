// Date-time parsing on any text: the ISO 8601 entry with any flags and start,
// and the format-driven reader with a format taken from the input, under the
// classic locale and two named ones. A DateTimeCvtError is a refusal; so is
// the AssertFailure that says week dates are not implemented. Anything else,
// or a position outside the text, aborts.
//
// Input: a flag byte, a start byte, then "format\0text" (no NUL: the whole
// rest is the text, and the format is "%Y-%m-%dT%H:%M:%S").
#include <pal/exception.h>
#include <pal/time.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <locale>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::vector<std::locale> make_locales() {
    std::vector<std::locale> locales{std::locale::classic()};
    for (const char* name : {"de_DE.UTF-8", "en_US.UTF-8", "en_US.ISO-8859-1"}) {
        try {
            locales.emplace_back(name);
        } catch (const std::runtime_error&) {
            // Not installed here: the others still run.
        }
    }
    return locales;
}

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "fuzz_datetime: %s\n", what);
    std::abort();
}

template <class Call>
void attempt(Call call) {
    try {
        call();
    } catch (const PAL::DateTimeCvtError& e) {
        (void)e.description();
    } catch (const PAL::AssertFailure& e) {
        if (e.text != L"Not implemented")
            finding("an assertion failed");
    } catch (...) {
        finding("an exception other than DateTimeCvtError");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<std::locale> locales = make_locales();
    if (size < 2)
        return 0;
    const unsigned flags = data[0];
    const std::locale& locale = locales[(flags >> 4) % locales.size()];
    const std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::size_t split = rest.find('\0');
    const std::string format(split == rest.npos ? std::string_view("%Y-%m-%dT%H:%M:%S")
                                                : rest.substr(0, split));
    const std::string text(split == rest.npos ? rest : rest.substr(split + 1));
    const std::size_t start = data[1] <= text.size() ? data[1] : 0;

    attempt([&] { (void)PAL::datetime_from_iso8601(text, flags & 15u, locale, start); });
    attempt([&] {
        std::tm fields;
        PAL::clear_tm(fields);
        const std::size_t end = PAL::parse_with_format(text, format, fields, locale, start);
        if (end < start || end > text.size())
            finding("parse_with_format ended outside the text");
    });
    attempt([&] {
        std::tm fields;
        PAL::clear_tm(fields);
        double fraction = 0;
        std::int32_t zone = PAL::NO_ZONE;
        const std::size_t end =
            PAL::parse_iso8601_datetime(text, fields, fraction, zone, flags & 15u, locale, start);
        if (end < start || end > text.size())
            finding("parse_iso8601_datetime ended outside the text");
        if (!(fraction >= 0.0 && fraction <= 1.0))
            finding("a fraction of a second outside [0, 1]");
        if (zone != PAL::NO_ZONE && (zone < -14 * 3600 || zone > 14 * 3600))
            finding("a zone offset beyond 14 hours");
    });
    return 0;
}
