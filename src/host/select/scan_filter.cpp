#include "scan_filter.h"

#include <host/session/record_values.h>

#include <cstdlib>

namespace orvohost {

bool ScanFilter::selects(const orvoeng::ScanRecord& scan) const {
    if (!within(ms_levels, scan.scan_type.ms_level) || !within(labels, scan.label) ||
        !rt.contains(scan.retention_time))
        return false;
    if (charges.empty())
        return true;
    const auto charge = known_charge(scan);
    return charge && within(charges, std::abs(*charge));
}

} // namespace orvohost
