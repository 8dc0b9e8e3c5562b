// The content of one catalog file: message texts by identifier. The file
// format is described in pal/msgcatalog.h.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace PAL::os {

class CatalogModule {
public:
    // Parses UTF-8 catalog text; malformed byte sequences become U+FFFD.
    explicit CatalogModule(const std::string& bytes);

    // False when the catalog has no text for `id`.
    bool find(std::uint32_t id, std::wstring& text) const;

private:
    std::map<std::uint32_t, std::wstring> texts;
};

} // namespace PAL::os
