// Texts of the numbered failure codes that the conversion errors carry.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace PAL {

struct CodeText {
    std::int32_t code;
    const wchar_t* text;
};

// The text listed for `code`, or "Unknown error <code>": a code from a newer
// peer still reads as a sentence.
inline std::wstring code_text(std::span<const CodeText> table, std::int32_t code) {
    for (const CodeText& entry : table)
        if (entry.code == code)
            return entry.text;
    return L"Unknown error " + std::to_wstring(code);
}

// The place in the input that a conversion error names, as its text ends.
inline std::wstring offset_text(std::uint32_t offset) {
    return L" (offset " + std::to_wstring(offset) + L")";
}

} // namespace PAL
