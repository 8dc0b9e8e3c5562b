#include "posix/catalog_file.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace PAL::os {
namespace {

std::wstring decode_utf8(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const int extra = lead < 0x80         ? 0
                          : (lead >> 5) == 6  ? 1
                          : (lead >> 4) == 14 ? 2
                          : (lead >> 3) == 30 ? 3
                                              : -1;
        char32_t code = extra == 0   ? lead
                        : extra == 1 ? lead & 0x1F
                        : extra == 2 ? lead & 0x0F
                                     : lead & 0x07;
        bool valid = extra >= 0 && i + static_cast<std::size_t>(extra) < bytes.size();
        for (int k = 1; valid && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (!valid || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            out.push_back(L'\xFFFD');
            ++i;
            continue;
        }
        i += static_cast<std::size_t>(extra) + 1;
        if constexpr (sizeof(wchar_t) == 2) {
            if (code > 0xFFFF) {
                code -= 0x10000;
                out.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
                out.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
                continue;
            }
        }
        out.push_back(static_cast<wchar_t>(code));
    }
    return out;
}

bool is_blank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

// "0x<hex> = text" from the first character of the line: the identifier and
// where the text starts. An indented line is never an entry.
bool parse_entry_start(const std::wstring& line, std::uint32_t& id, std::size_t& text_start) {
    if (line.size() <= 2 || line[0] != L'0' || (line[1] != L'x' && line[1] != L'X'))
        return false;
    std::size_t i = 2;
    std::uint64_t value = 0;
    std::size_t digits = 0;
    for (; i < line.size(); ++i, ++digits) {
        const wchar_t c = line[i];
        int d = -1;
        if (c >= L'0' && c <= L'9')
            d = c - L'0';
        else if (c >= L'a' && c <= L'f')
            d = c - L'a' + 10;
        else if (c >= L'A' && c <= L'F')
            d = c - L'A' + 10;
        if (d < 0)
            break;
        value = value * 16 + static_cast<std::uint64_t>(d);
        if (value > 0xFFFFFFFFu)
            return false;
    }
    if (digits == 0)
        return false;
    while (i < line.size() && is_blank(line[i]))
        ++i;
    if (i >= line.size() || line[i] != L'=')
        return false;
    ++i;
    while (i < line.size() && is_blank(line[i]))
        ++i;
    id = static_cast<std::uint32_t>(value);
    text_start = i;
    return true;
}

} // namespace

CatalogModule::CatalogModule(const std::string& bytes) {
    std::string_view view(bytes);
    if (view.substr(0, 3) == "\xEF\xBB\xBF")
        view.remove_prefix(3);
    const std::wstring text = decode_utf8(view);

    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }

    std::wstring* current = nullptr;
    for (const auto& line : lines) {
        std::uint32_t id = 0;
        std::size_t text_start = 0;
        if (current && !line.empty() && is_blank(line[0])) {
            current->append(L"\n").append(line, 1, std::wstring::npos);
        } else if (parse_entry_start(line, id, text_start)) {
            current = &texts[id];
            current->assign(line, text_start, std::wstring::npos);
        } else {
            current = nullptr;
        }
    }
}

bool CatalogModule::find(std::uint32_t id, std::wstring& text) const {
    const auto it = texts.find(id);
    if (it == texts.end())
        return false;
    text = it->second;
    return true;
}

} // namespace PAL::os
