// Helpers shared by data sources: the cache of fetched spectra's facts and
// the check that a host path fits the user's code page.
#pragma once

#include <ds/data_source_intf.h>
#include <ds/messages.h>

#include <pal/exception.h>
#include <pal/memory.h>
#include <pal/message.h>
#include <pal/msgcatalog.h>
#include <pal/string.h>

#include <cstddef>
#include <cstdint>
#include <locale>
#include <string>
#include <vector>

namespace orvoeng {

// Peak count and centroided flag per fetched spectrum, never the peaks: an
// entry a listed scan, by its 1-based position, made at the first store. A
// fetch then stores without a search or an allocation of its own, where a
// tree would take a node a spectrum, scattered over the heap between the
// spectra's peak lists.
class RawSpecInfoCache {
public:
    // Forgets every entry: the listing holds `count` scans.
    void reset(std::size_t count) {
        entries.clear();
        entries.shrink_to_fit();
        scans = count;
    }

    // A spectrum fetched again must say the same, or the file changed under us.
    void store(std::size_t position, const RawSpecInfo& info) {
        constexpr const char* source_file = "ds/utils";
        PAL_ASSERT(position >= 1 && position <= scans, L"Raw spec info position out of range");
        // Megabytes for a large file, all written at the first store: in
        // large pages where the OS gives them.
        if (entries.empty())
            entries.resize(scans);
        Entry& entry = entries[position - 1];
        if (!entry.stored) {
            entry = Entry{info.peak_count, info.centroided, true};
            return;
        }
        PAL_ASSERT(entry.peak_count == info.peak_count && entry.centroided == info.centroided,
                   L"Raw spec info changed");
    }

    // False for a scan never stored, and for a position not listed.
    bool find(std::size_t position, RawSpecInfo& out) const {
        if (position < 1 || position > entries.size() || !entries[position - 1].stored)
            return false;
        const Entry& entry = entries[position - 1];
        out = RawSpecInfo{entry.peak_count, entry.centroided};
        return true;
    }

private:
    struct Entry {
        std::uint32_t peak_count = 0;
        bool centroided = false;
        bool stored = false;
    };
    std::vector<Entry, PAL::LargePageAllocator<Entry>> entries;
    std::size_t scans = 0;
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
