// Code conversion both ways under the classic locale, a UTF-8 one and a
// Latin-1 one, on any text. A StrCodeCvtError is a refusal, but it must name
// a known code and an offset before which the text converts, and the output
// kept must begin that prefix's conversion. A conversion that succeeds must
// come back unchanged through the other direction (the classic locale
// narrows ASCII alone, so there only narrowing may refuse). Anything else
// aborts.
//
// Input: a byte choosing the locale and the shape of the wide text, then the
// bytes, also read as wide characters of four or of three bytes.
#include <pal/exception.h>
#include <pal/string.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Named {
    std::locale locale;
    bool classic;
};

std::vector<Named> make_locales() {
    std::vector<Named> locales{{std::locale::classic(), true}};
    for (const char* name : {"POSIX", "C.UTF-8", "en_US.UTF-8", "en_US.ISO-8859-1"}) {
        try {
            const std::locale locale(name);
            locales.push_back({locale, locale.name() == "C"});
        } catch (const std::runtime_error&) {
            // Not installed here: the others still run.
        }
    }
    return locales;
}

[[noreturn]] void finding(const char* what, std::size_t size) {
    std::fprintf(stderr, "fuzz_codecvt: %s (%zu input units)\n", what, size);
    std::abort();
}

struct Failure {
    std::int32_t error;
    std::uint32_t offset;
};

// The conversion of `text` into `out`, or how it failed.
template <class From, class To, class Convert>
std::optional<Failure> convert(const From& text, To& out, Convert call) {
    try {
        call(text, out);
        return std::nullopt;
    } catch (const PAL::StrCodeCvtError& e) {
        if ((e.error != PAL::CODECVT_INPUT_EXHAUSTED && e.error != PAL::CODECVT_NO_MAPPING) ||
            !e.has_offset || e.offset > text.size() ||
            (e.error == PAL::CODECVT_NO_MAPPING && e.offset == text.size()))
            finding("a failure with an unknown code or an offset outside the text", text.size());
        return Failure{e.error, e.offset};
    } catch (...) {
        finding("an exception other than StrCodeCvtError", text.size());
    }
}

// A failure names where the text stops converting: what comes before it
// converts, and the kept output begins that conversion.
template <class From, class To, class Convert>
void check_failure(const From& text, const To& kept, const Failure& failure, Convert call) {
    To prefix_out;
    if (convert(text.substr(0, failure.offset), prefix_out, call))
        finding("the text before a failure's offset does not convert", text.size());
    if (prefix_out.compare(0, kept.size(), kept) != 0)
        finding("the output kept at a failure is not the prefix's output", text.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<Named> locales = make_locales();
    if (size < 1)
        return 0;
    const Named& named = locales[data[0] % locales.size()];
    const std::locale& locale = named.locale;
    const auto narrow = [&](const std::wstring& in, std::string& out) {
        PAL::to_narrow(in, locale, out);
    };
    const auto widen = [&](const std::string& in, std::wstring& out) {
        PAL::to_wide(in, locale, out);
    };

    // Bytes to wide text and back.
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::wstring wide;
    if (const auto failure = convert(bytes, wide, widen)) {
        check_failure(bytes, wide, *failure, widen);
    } else {
        std::string back;
        const auto refused = convert(wide, back, narrow);
        if (refused && !named.classic)
            finding("a widened text does not narrow again", bytes.size());
        if (!refused && back != bytes)
            finding("a widened text narrows to other bytes", bytes.size());
    }

    // Wide text of four-byte units (any value) or three-byte units (below
    // U+200000, where the planes are) to bytes and back.
    const std::size_t width = data[0] & 0x80u ? 3 : 4;
    std::wstring text;
    for (std::size_t i = 1; i + width <= size; i += width) {
        std::uint32_t unit = 0;
        for (std::size_t b = 0; b < width; ++b)
            unit |= std::uint32_t{data[i + b]} << (8 * b);
        text.push_back(static_cast<wchar_t>(width == 3 ? unit & 0x1FFFFFu : unit));
    }
    std::string narrowed;
    if (const auto failure = convert(text, narrowed, narrow)) {
        if (failure->error != PAL::CODECVT_NO_MAPPING)
            finding("a wide text that ends inside a character", text.size());
        check_failure(text, narrowed, *failure, narrow);
    } else {
        std::wstring back;
        if (convert(narrowed, back, widen) || back != text)
            finding("a narrowed text does not widen to the same text", text.size());
    }
    return 0;
}
