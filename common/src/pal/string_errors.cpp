// Texts of the decoding and code-conversion failures.
#include <pal/exception.h>
#include <pal/string.h>

#include "code_text.h"

#include <string>

namespace PAL {

std::wstring decode_error_text(std::int32_t code) {
    static constexpr CodeText texts[] = {
        {DECODE_NO_ERROR, L"No error"},
        {DECODE_INPUT_EXHAUSTED, L"Input buffer exhausted"},
        {DECODE_OUTPUT_EXHAUSTED, L"Output buffer exhausted"},
        {DECODE_ILLEGAL_CHARACTER, L"Illegal character"},
        {DECODE_EXCESSIVE_PADDING, L"Excessive padding"},
        {DECODE_INVALID_ESCAPE, L"Invalid escape sequence"},
        {DECODE_UNESCAPED_SPECIAL, L"Unescaped special character"},
    };
    return code_text(texts, code);
}

std::wstring codecvt_error_text(std::int32_t code) {
    static constexpr CodeText texts[] = {
        {CODECVT_NO_ERROR, L"No error"},
        {CODECVT_INPUT_EXHAUSTED, L"Input buffer exhausted"},
        {CODECVT_NO_MAPPING, L"Character sequence invalid or has no mapping"},
    };
    return code_text(texts, code);
}

// The offset is part of the text whether or not it was given.
std::wstring StrDecodeError::description() const {
    return L"Decoding error: " + decode_error_text(error) + offset_text(offset);
}

std::wstring StrCodeCvtError::description() const {
    return L"Code conversion error: " + codecvt_error_text(error) + offset_text(offset);
}

} // namespace PAL
