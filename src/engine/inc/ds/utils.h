// Helpers shared by data sources: the cache of fetched spectra's facts and
// the check that a host path fits the user's code page.
#pragma once

#include <ds/data_source_intf.h>
#include <ds/messages.h>

#include <pal/exception.h>
#include <pal/message.h>
#include <pal/msgcatalog.h>
#include <pal/string.h>

#include <cstdint>
#include <iterator>
#include <locale>
#include <map>
#include <string>
#include <utility>

namespace orvoeng {

// Peak count and centroided flag per fetched spectrum, never the peaks.
class RawSpecInfoCache {
public:
    // Label, then sub key; ordered by label (unsigned), then sub (signed).
    using Key = std::pair<std::uint32_t, std::int32_t>;

    // A spectrum fetched again must say the same, or the file changed under us.
    void store(std::uint32_t label, std::uint32_t sub_key, const RawSpecInfo& info) {
        constexpr const char* source_file = "ds/utils";
        // Spectra fetched in order come after every entry: no search then.
        const Key at = key(label, sub_key);
        if (entries.empty() || std::prev(entries.end())->first < at) {
            entries.emplace_hint(entries.end(), at, info);
            return;
        }
        const auto found = entries.find(at);
        if (found == entries.end()) {
            entries.emplace(at, info);
            return;
        }
        PAL_ASSERT(found->second.peak_count == info.peak_count &&
                       found->second.centroided == info.centroided,
                   L"Raw spec info changed");
    }

    bool find(std::uint32_t label, std::uint32_t sub_key, RawSpecInfo& out) const {
        const auto found = entries.find(key(label, sub_key));
        if (found == entries.end())
            return false;
        out = found->second;
        return true;
    }

    bool key_by_sub_key = false;
    std::map<Key, RawSpecInfo> entries;

private:
    Key key(std::uint32_t label, std::uint32_t sub_key) const {
        return {label, key_by_sub_key ? static_cast<std::int32_t>(sub_key) : 0};
    }
};

// Refuses a path the user's code page cannot represent, before any file call
// sees it. The user's locale falls back to the classic one when the
// environment names a locale this machine lacks, so only typed errors leave.
inline void check_path_conversion(const std::wstring& path) {
    constexpr const char* source_file = "ds/utils";
    const std::locale locale = PAL::user_default_locale();
    try {
        PAL::to_narrow(path, locale);
    } catch (const PAL::StrCodeCvtError& error) {
        std::wstring name;
        try {
            name = PAL::to_wide(locale.name(), std::locale::classic());
        } catch (const PAL::StrCodeCvtError&) {
            name = L"???";
        }
        PAL::Message message(msg::PATH_NOT_CONVERTIBLE.id);
        message.add(name)
            .add(path)
            .add(PAL::codecvt_error_text(error.error))
            .add(error.offset, 0, 10, true);
        PAL_RAISE(PAL::AppError, msg::PATH_NOT_CONVERTIBLE.code, message);
    }
}

} // namespace orvoeng
