// Scan records a data source hands to the host, and the label constants.
//
// The host reads these records with its own copy of this header, so member
// order and widths are part of the contract. Everything here is header-only:
// a host compiles against it without linking the plug-in.
#pragma once

#include <pal/atomic.h>
#include <pal/exception.h>

#include <cstdint>
#include <vector>

namespace orvoeng {

// A label that is not set.
constexpr std::uint32_t NO_LABEL = 2147483638;
// The largest label a scan may get.
constexpr std::uint32_t MAX_LABEL = 2147483637;
// Precursor charge unknown.
constexpr std::int16_t NO_CHARGE = 32767;

class ScanType {
public:
    static constexpr std::int32_t MIN_MS_LEVEL = 1;
    static constexpr std::int32_t MAX_MS_LEVEL = 16;

    ScanType() = default;
    ScanType(std::int32_t scan_mode, std::int32_t scan_polarity, std::int32_t level)
        : mode(scan_mode), polarity(scan_polarity) {
        set_ms_level(level);
    }

    // The level is checked here, where it is stored, so no record can carry
    // a level the host cannot index.
    void set_ms_level(std::int32_t level) {
        constexpr const char* source_file = "ds/types";
        PAL_ASSERT(level >= MIN_MS_LEVEL && level <= MAX_MS_LEVEL, L"MS level range error");
        ms_level = static_cast<std::int16_t>(level);
    }

    std::int32_t mode = -1;
    std::int32_t polarity = -1; // 0 "+", 1 "-", -1 not given
    std::int16_t ms_level = -1;
};

// One scan of a listed file; the host copies it as a whole.
struct ScanRecord {
    std::uint32_t label = NO_LABEL;
    std::uint32_t parent_label = NO_LABEL; // MS2: the latest MS1 scan before it
    double retention_time = 0.0;           // seconds
    double total_ion_current = 0.0;
    double precursor_mz = 0.0;
    std::int16_t precursor_charge = NO_CHARGE;
    ScanType scan_type;
    std::uint32_t format_code = 0;
    std::uint32_t file_position = 0; // 1-based position in the file
    std::uint32_t reserved1 = 0;
    std::uint32_t reserved2 = 0;
};

// The scans of a file in file order, co-owned by the host once handed over.
using ScanList = PAL::SmartPtr<std::vector<ScanRecord>>;

} // namespace orvoeng
