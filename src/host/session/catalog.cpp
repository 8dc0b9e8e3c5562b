#include "catalog.h"

#include "plugin.h"
#include "utf8_text.h"

namespace orvohost {

HostCatalog::HostCatalog(std::filesystem::path catalog_folder)
    : PAL::MsgCatalog(L"orvo-host"), folder(std::move(catalog_folder)) {}

std::wstring HostCatalog::prefix() const {
    return (folder / "").wstring();
}

std::wstring HostCatalog::text(const PAL::Message& message) {
    return insert_arguments(message_text(message.id), message.args);
}

std::string HostCatalog::sentence(const PAL::Message& message) {
    return utf8(text(message));
}

std::filesystem::path default_catalog_dir() {
    const auto library = platform_library_dir();
    return first_existing({(library / ORVO_INSTALLED_CATALOG_DIR).lexically_normal(),
                           (library / ORVO_BUILT_CATALOG_DIR).lexically_normal()});
}

std::wstring insert_arguments(std::wstring_view text, const std::vector<std::wstring>& args) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        if (text[i + 1] == L'%') {
            out.push_back(L'%');
            ++i;
            continue;
        }
        std::size_t end = i + 1;
        std::size_t number = 0;
        while (end < text.size() && end < i + 3 && text[end] >= L'0' && text[end] <= L'9')
            number = number * 10 + static_cast<std::size_t>(text[end++] - L'0');
        if (number >= 1 && number <= args.size()) {
            out += args[number - 1];
            i = end - 1;
        } else {
            out.push_back(L'%');
        }
    }
    return out;
}

} // namespace orvohost
