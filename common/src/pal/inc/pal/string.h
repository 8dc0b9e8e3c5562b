// Text and data: base64 decoding and code conversion between wide and narrow
// text through a locale.
#pragma once

#include <pal/api.h>
#include <pal/exception.h>
#include <pal/memory.h>

#include <cstddef>
#include <cstdint>
#include <locale>
#include <string>
#include <string_view>
#include <vector>

namespace PAL {

// ---- base64 --------------------------------------------------------------

enum DecodeErrorCode : std::int32_t {
    DECODE_NO_ERROR = 0,
    DECODE_INPUT_EXHAUSTED = 1,   // a short group, or a byte count not a whole unit
    DECODE_OUTPUT_EXHAUSTED = 2,  // a group that does not fit the output
    DECODE_ILLEGAL_CHARACTER = 3, // outside the alphabet, or inside a padded group
    DECODE_EXCESSIVE_PADDING = 4, // a third "=" in a group
    DECODE_INVALID_ESCAPE = 5,    // named for completeness; nothing raises it
    DECODE_UNESCAPED_SPECIAL = 6, // named for completeness; nothing raises it
};

// "No error", "Input buffer exhausted", ..., "Unknown error <n>".
PAL_API std::wstring decode_error_text(std::int32_t code);

// Decodes standard base64 into `out`, ignoring characters of `skip` before,
// between and after groups of four (never inside one). Returns the number of
// bytes written; nothing is written past them, nor past `capacity`. Raises
// StrDecodeError with the offset in `input`. Long runs of plain groups are
// decoded with vector instructions where the processor has them.
PAL_API std::uint32_t base64_decode(std::string_view input, const char* skip, std::size_t capacity,
                                    void* out);

// base64_decode without the vector instructions: the plain reference path,
// with the same results, bytes and errors. Slower; meant for comparisons.
PAL_API std::uint32_t base64_decode_exact(std::string_view input, const char* skip,
                                          std::size_t capacity, void* out);

// Decodes whole units of `unit_size` bytes stored in `order` and brings them
// into the native order. Returns the number of units.
PAL_API std::uint32_t base64_decode_units(std::string_view input, const char* skip, ByteOrder order,
                                          std::size_t unit_size, std::size_t max_units, void* out);

// base64_decode_units with the skip set blank, tab, line feed, carriage return.
PAL_API std::uint32_t base64_decode_ws(std::string_view input, ByteOrder order,
                                       std::size_t unit_size, std::size_t max_units, void* out);
// The same, also giving the offset of the first group that padding closes,
// or npos when none does: the input holds no "=" before it. Set also when
// the decoding fails later.
PAL_API std::uint32_t base64_decode_ws(std::string_view input, ByteOrder order,
                                       std::size_t unit_size, std::size_t max_units, void* out,
                                       std::size_t& first_padded);

// Decodes into `units` at least `min_units` and at most `max_units` values of
// type T (float or double) stored in `order`. The vector is never sized
// beyond what `text` can decode to, whatever `max_units` says, so a count
// written in a file cannot make it allocate. Fewer than `min_units` raises
// StrDecodeError 1 at the text's length. On any failure the vector is
// emptied and the exception passes on.
template <class T>
void base64_decode_vector(std::string_view text, ByteOrder order, std::size_t min_units,
                          std::size_t max_units, std::vector<T>& units) {
    try {
        // Four characters give at most three bytes, so the text can never fill
        // more than `decodable` units: a smaller buffer changes no result and
        // no error, but a huge count from a file no longer allocates.
        const std::size_t decodable = text.size() / 4 * 3 / sizeof(T) + 1;
        const std::size_t room = max_units < decodable ? max_units : decodable;
        units.assign(room, T());
        // No room still needs an address: the text must then be empty, or
        // decoding it fails as a full buffer.
        T none{};
        const std::uint32_t got =
            base64_decode_ws(text, order, sizeof(T), room, room ? units.data() : &none);
        if (got < min_units)
            raise<StrDecodeError>("string", __LINE__, DECODE_INPUT_EXHAUSTED,
                                  static_cast<std::uint32_t>(text.size()));
        units.resize(got);
    } catch (...) {
        units.clear();
        throw;
    }
}

// ---- code conversion -----------------------------------------------------

enum CodeCvtErrorCode : std::int32_t {
    CODECVT_NO_ERROR = 0,
    CODECVT_INPUT_EXHAUSTED = 1, // the input ends inside a character
    CODECVT_NO_MAPPING = 2,      // invalid, or not representable in the code page
};

// "No error", "Input buffer exhausted",
// "Character sequence invalid or has no mapping", "Unknown error <n>".
PAL_API std::wstring codecvt_error_text(std::int32_t code);

// Conversion through the locale's wide-to-byte codecvt facet. Failures raise
// StrCodeCvtError with the offset in input units.
PAL_API std::string to_narrow(const std::wstring& text, const std::locale& locale);
PAL_API void to_narrow(const std::wstring& text, const std::locale& locale, std::string& out);
PAL_API std::wstring to_wide(const std::string& text, const std::locale& locale);
PAL_API void to_wide(const std::string& text, const std::locale& locale, std::wstring& out);

PAL_API std::wstring to_lower(const std::wstring& text, const std::locale& locale);

// Three-way comparison of the lower-cased texts (negative, 0, positive).
PAL_API int compare_nocase(const std::wstring& a, const std::wstring& b, const std::locale& locale);
PAL_API int compare_nocase(const std::string& a, const std::string& b, const std::locale& locale);

} // namespace PAL
