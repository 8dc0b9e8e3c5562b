// Texts of the decoding and code-conversion failures.
#include <pal/exception.h>
#include <pal/string.h>

#include <string>

namespace {

std::wstring unknown_error(std::int32_t code) {
    return L"Unknown error " + std::to_wstring(code);
}

std::wstring with_offset(const wchar_t* what, const std::wstring& text, std::uint32_t offset) {
    return what + text + L" (offset " + std::to_wstring(offset) + L")";
}

} // namespace

namespace PAL {

std::wstring decode_error_text(std::int32_t code) {
    switch (code) {
    case DECODE_NO_ERROR:
        return L"No error";
    case DECODE_INPUT_EXHAUSTED:
        return L"Input buffer exhausted";
    case DECODE_OUTPUT_EXHAUSTED:
        return L"Output buffer exhausted";
    case DECODE_ILLEGAL_CHARACTER:
        return L"Illegal character";
    case DECODE_EXCESSIVE_PADDING:
        return L"Excessive padding";
    case DECODE_INVALID_ESCAPE:
        return L"Invalid escape sequence";
    case DECODE_UNESCAPED_SPECIAL:
        return L"Unescaped special character";
    default:
        return unknown_error(code);
    }
}

std::wstring codecvt_error_text(std::int32_t code) {
    switch (code) {
    case CODECVT_NO_ERROR:
        return L"No error";
    case CODECVT_INPUT_EXHAUSTED:
        return L"Input buffer exhausted";
    case CODECVT_NO_MAPPING:
        return L"Character sequence invalid or has no mapping";
    default:
        return unknown_error(code);
    }
}

// The offset is part of the text whether or not it was given.
std::wstring StrDecodeError::description() const {
    return with_offset(L"Decoding error: ", decode_error_text(error), offset);
}

std::wstring StrCodeCvtError::description() const {
    return with_offset(L"Code conversion error: ", codecvt_error_text(error), offset);
}

} // namespace PAL
