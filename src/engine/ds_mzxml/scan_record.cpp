#include "scan_record.h"

namespace orvoeng {

namespace {

// Precursor charges kept, in absolute value; anything else is unknown.
constexpr std::int32_t MAX_CHARGE = 40;

bool is_charge(std::int32_t charge) {
    return charge != 0 && charge >= -MAX_CHARGE && charge <= MAX_CHARGE;
}

} // namespace

bool level_fits(const ScanHeader& header) {
    return header.msLevel >= ScanType::MIN_MS_LEVEL && header.msLevel <= ScanType::MAX_MS_LEVEL;
}

ScanRecord record_of(const ScanHeader& header) {
    ScanRecord record;
    ScanType type;
    type.set_ms_level(header.msLevel);
    type.mode = 0;
    type.polarity = header.polarity;
    record.scan_type = type;
    record.retention_time = header.retentionTime;
    record.total_ion_current = header.totalIonCurrent;
    if (type.ms_level == 2) {
        record.precursor_mz = header.precursorMz;
        // Judged on the full value: a 16-bit cut would turn 65539 into 3.
        if (is_charge(header.precursorCharge))
            record.precursor_charge = static_cast<std::int16_t>(header.precursorCharge);
    }
    return record;
}

} // namespace orvoeng
