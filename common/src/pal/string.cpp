// Code conversion between wide and narrow text through a locale's facet, and
// case-insensitive comparison.
#include <pal/exception.h>
#include <pal/mutex.h>
#include <pal/string.h>

#include "os/syscalls.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <locale>
#include <memory>
#include <string>
#include <type_traits>

namespace {
constexpr const char* source_file = "string";

// Serialises every conversion, whichever way the backend converts. The
// platform layer is one shared library per process, so this lock exists once
// per process: built when the library is loaded, destroyed when it is
// unloaded.
PAL::CriticalSection conversion_lock;

using Facet = std::codecvt<wchar_t, char, std::mbstate_t>;

#ifdef _WIN32
// The MSVC runtime's facet may convert through the process's global locale,
// so there the caller's locale is made global for the length of the
// conversion (under the lock) and always restored.
class GlobalLocaleSwap {
public:
    explicit GlobalLocaleSwap(const std::locale& locale) : previous(std::locale::global(locale)) {}
    ~GlobalLocaleSwap() { std::locale::global(previous); }
    GlobalLocaleSwap(const GlobalLocaleSwap&) = delete;
    GlobalLocaleSwap& operator=(const GlobalLocaleSwap&) = delete;

private:
    std::locale previous;
};
#endif
// libstdc++ converts with the facet's own locale and never reads the global
// one, so there the global locale is left alone: changing it would change how
// every other thread reads numbers while a conversion runs.

struct Narrowing {
    using From = wchar_t;
    using To = char;
    // Bytes of output a pass may need: two per wide character.
    static std::size_t wanted(std::size_t input) { return 2 * input; }
    static Facet::result run(const Facet& facet, std::mbstate_t& state, const From* from,
                             const From* end, const From*& next, To* to, To* to_end, To*& to_next) {
        return facet.out(state, from, end, next, to, to_end, to_next);
    }
    // Keeps the low byte.
    static To unconverted(From c) { return static_cast<To>(c); }
    // The first character from `from` that the facet would drop without a
    // byte, or `end`. glibc skips the Unicode tag characters where the code
    // page has none, neither writing a byte nor failing, and aborts when such
    // a step leaves the output empty at the start of a buffer. So each one is
    // tried on its own behind a plain letter, whose byte keeps that output
    // from being empty; one that adds no byte there stops the conversion.
    static const From* stop(const Facet& facet, const From* from, const From* end) {
        for (; from != end; ++from) {
            if ((static_cast<std::uint32_t>(*from) >> 7) == (0xE0000u >> 7) &&
                !adds_bytes(facet, *from))
                return from;
        }
        return end;
    }
    static bool adds_bytes(const Facet& facet, From c) {
        const From probe[2] = {L'a', c};
        To bytes[32];
        std::mbstate_t state{};
        const From* next = probe;
        To* to_next = bytes;
        facet.out(state, probe, probe + 2, next, bytes, bytes + sizeof bytes, to_next);
        return next != probe + 2 || to_next - bytes > 1;
    }
};

struct Widening {
    using From = char;
    using To = wchar_t;
    static std::size_t wanted(std::size_t input) { return input; }
    static Facet::result run(const Facet& facet, std::mbstate_t& state, const From* from,
                             const From* end, const From*& next, To* to, To* to_end, To*& to_next) {
        return facet.in(state, from, end, next, to, to_end, to_next);
    }
    // Widens the byte as a signed 8-bit value into a 16-bit unit, so bytes
    // 0x80 to 0xFF give 0xFF80 to 0xFFFF whatever the width of wchar_t.
    static To unconverted(From c) {
        return static_cast<To>(static_cast<std::uint16_t>(static_cast<signed char>(c)));
    }
    // The next NUL byte, or `end`. libstdc++ converts around a NUL byte but
    // carries the conversion state over it, so the bytes of a character cut
    // off before a NUL would join those after it. Each run between NUL bytes
    // is converted on its own, and must end on a whole character.
    static const From* stop(const Facet&, const From* from, const From* end) {
        const void* nul = std::memchr(from, '\0', static_cast<std::size_t>(end - from));
        return nul ? static_cast<const From*>(nul) : end;
    }
};

[[noreturn]] void fail(PAL::CodeCvtErrorCode code, std::ptrdiff_t offset, unsigned int line) {
    PAL::raise<PAL::StrCodeCvtError>(source_file, line, code, static_cast<std::uint32_t>(offset));
}

// glibc takes the bytes of a character cut off by the end of the input into
// the conversion state and reports success. Converting the pass again from
// its start, with room for just the units it gave, stops where that last,
// incomplete character begins.
const char* incomplete_tail(const Facet& facet, std::mbstate_t state, const char* from,
                            const char* end, wchar_t* to, std::size_t units) {
    const char* next = from;
    wchar_t* to_next = to;
    facet.in(state, from, end, next, to, to + units, to_next);
    return next;
}

// Widening in the classic locale makes every byte the character of the same
// value, as the Windows runtime's "C" locale does. glibc's "C" locale refuses
// bytes above 127, which would make file text such as an instrument name with
// a micro sign unreadable on Linux alone. Narrowing keeps the facet's rules:
// a host path in the "C" locale must stay ASCII to name the file it means.
bool byte_per_character(const std::locale& locale) {
    return locale.name() == "C";
}

void bytes_to_wide(const std::string& input, std::wstring& out) {
    out.assign(input.size(), L'\0');
    std::transform(input.begin(), input.end(), out.begin(),
                   [](char c) { return static_cast<wchar_t>(static_cast<unsigned char>(c)); });
}

// Converts in bounded passes; the output keeps what earlier passes gave when
// a later one fails.
template <class Direction>
void convert(const std::basic_string<typename Direction::From>& input, const std::locale& locale,
             std::basic_string<typename Direction::To>& out) {
    using From = typename Direction::From;
    using To = typename Direction::To;

#ifdef _WIN32
    GlobalLocaleSwap swap(locale);
#endif
    const Facet& facet = std::use_facet<Facet>(locale);
    out.clear();
    if (input.empty())
        return;

    // A pass fills `units`; the buffer checked against the facet's longest
    // sequence counts one more, for the terminator the pass never writes.
    const std::size_t units = std::clamp<std::size_t>(Direction::wanted(input.size()), 128, 1024);
    PAL_ASSERT(static_cast<long long>(units) + 1 > facet.max_length(), L"Buffer is not big enough");
    const std::unique_ptr<To[]> buffer(new To[units]);

    std::mbstate_t state{};
    const From* const begin = input.data();
    const From* const end = begin + input.size();
    const From* from = begin;
    // Where the current run ends: the end, or a character no pass may reach.
    const From* stop = Direction::stop(facet, from, end);
    for (;;) {
        if (from == stop) {
            if (from == end)
                return;
            // A NUL byte widens to a NUL character; a character that would
            // vanish in narrowing has no mapping.
            if constexpr (std::is_same_v<Direction, Narrowing>)
                fail(PAL::CODECVT_NO_MAPPING, from - begin, __LINE__);
            out.push_back(To{});
            ++from;
            stop = Direction::stop(facet, from, end);
            continue;
        }
        const std::mbstate_t pass_state = state;
        const From* next = from;
        To* to_next = buffer.get();
        switch (Direction::run(facet, state, from, stop, next, buffer.get(), buffer.get() + units,
                               to_next)) {
        case Facet::ok:
            if (next == stop) {
                if constexpr (std::is_same_v<Direction, Widening>) {
                    if (!std::mbsinit(&state))
                        fail(PAL::CODECVT_INPUT_EXHAUSTED,
                             incomplete_tail(facet, pass_state, from, stop, buffer.get(),
                                             static_cast<std::size_t>(to_next - buffer.get())) -
                                 begin,
                             __LINE__);
                }
                out.append(buffer.get(), to_next);
                from = next;
                break;
            }
            [[fallthrough]];
        case Facet::partial:
            // A facet may stop with room left when the next character's bytes
            // would not fit (libstdc++ does): that is a full buffer, and the
            // next pass goes on. Only a pass that gets nowhere, with the whole
            // buffer free, means the input ends inside a character.
            if (next == from)
                fail(PAL::CODECVT_INPUT_EXHAUSTED, next - begin, __LINE__);
            out.append(buffer.get(), to_next);
            from = next;
            break;
        case Facet::error:
            fail(PAL::CODECVT_NO_MAPPING, next - begin, __LINE__);
        case Facet::noconv:
            for (; next != end; ++next)
                out.push_back(Direction::unconverted(*next));
            return;
        default:
            PAL_RAISE(PAL::AssertFailure, L"Unexpected codecvt result");
        }
    }
}

} // namespace

namespace PAL {

namespace os {

void facet_narrow(const std::wstring& text, const std::locale& locale, std::string& out) {
    convert<Narrowing>(text, locale, out);
}

void facet_widen(const std::string& text, const std::locale& locale, std::wstring& out) {
    convert<Widening>(text, locale, out);
}

} // namespace os

void to_narrow(const std::wstring& text, const std::locale& locale, std::string& out) {
    ScopedLock lock(conversion_lock);
    os::syscalls().narrow(text, locale, out);
}

std::string to_narrow(const std::wstring& text, const std::locale& locale) {
    std::string out;
    to_narrow(text, locale, out);
    return out;
}

void to_wide(const std::string& text, const std::locale& locale, std::wstring& out) {
    if (byte_per_character(locale))
        return bytes_to_wide(text, out);
    ScopedLock lock(conversion_lock);
    os::syscalls().widen(text, locale, out);
}

std::wstring to_wide(const std::string& text, const std::locale& locale) {
    std::wstring out;
    to_wide(text, locale, out);
    return out;
}

std::wstring to_lower(const std::wstring& text, const std::locale& locale) {
    std::wstring lower = text;
    std::use_facet<std::ctype<wchar_t>>(locale).tolower(lower.data(), lower.data() + lower.size());
    return lower;
}

int compare_nocase(const std::wstring& a, const std::wstring& b, const std::locale& locale) {
    return to_lower(a, locale).compare(to_lower(b, locale));
}

int compare_nocase(const std::string& a, const std::string& b, const std::locale& locale) {
    return compare_nocase(to_wide(a, locale), to_wide(b, locale), locale);
}

} // namespace PAL
