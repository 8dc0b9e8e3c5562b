#include "xml_text.h"

#include <charconv>
#include <cstdint>
#include <utility>

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

namespace {

void append_utf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// The text an entity or reference (without "&" and ";") stands for.
bool append_entity(std::string& out, std::string_view name) {
    static constexpr std::pair<std::string_view, char> NAMED[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [entity, c] : NAMED)
        if (name == entity) {
            out.push_back(c);
            return true;
        }
    if (name.size() < 2 || name[0] != '#')
        return false;
    const bool hex = name[1] == 'x';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    std::uint32_t code = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        code == 0 || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000))
        return false;
    append_utf8(out, code);
    return true;
}

} // namespace

std::string xml_unescaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t end = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
        if (end != std::string_view::npos && append_entity(out, text.substr(i + 1, end - i - 1)))
            i = end;
        else
            out.push_back(text[i]);
    }
    return out;
}

} // namespace orvohost
