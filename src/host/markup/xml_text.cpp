#include "xml_text.h"

namespace orvohost {

void append_xml_escaped(std::string& out, std::string_view text) {
    static constexpr std::string_view REPLACEMENT = "\xEF\xBF\xBD";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            case '\t':
                out += "&#9;";
                break;
            case '\n':
                out += "&#10;";
                break;
            case '\r':
                out += "&#13;";
                break;
            default:
                if (c < 0x20)
                    out += REPLACEMENT;
                else
                    out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        const std::size_t length = c >= 0xC2 && c <= 0xDF   ? 2
                                   : c >= 0xE0 && c <= 0xEF ? 3
                                   : c >= 0xF0 && c <= 0xF4 ? 4
                                                            : 0;
        bool valid = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (valid) {
            // Overlong forms, surrogates, values beyond U+10FFFF, U+FFFE and U+FFFF.
            const auto second = static_cast<unsigned char>(text[i + 1]);
            valid =
                !(c == 0xE0 && second < 0xA0) && !(c == 0xED && second > 0x9F) &&
                !(c == 0xF0 && second < 0x90) && !(c == 0xF4 && second > 0x8F) &&
                !(c == 0xEF && second == 0xBF && static_cast<unsigned char>(text[i + 2]) >= 0xBE);
        }
        if (valid) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += REPLACEMENT;
            ++i;
        }
    }
}

std::string xml_escaped(std::string_view text) {
    std::string out;
    append_xml_escaped(out, text);
    return out;
}

} // namespace orvohost
