// A scan as people and programs read it: one row of a listing, or one
// object of JSON Lines with its peaks.
#pragma once

#include "listing.h"

#include <host/session/scan_numbers.h>

#include <ds/data_source_intf.h>
#include <ds/types.h>

#include <string>
#include <vector>

namespace orvohost {

// Columns of a scan listing, in the order of scan_row; scan_number is the
// num the file gives the scan, which search hits name.
const std::vector<Column>& scan_columns();
Row scan_row(const orvoeng::ScanRecord& scan, const ScanNumbers& numbers);

// Whether every m/z and intensity is exactly a 32-bit float: the values of
// a 32-bit file, widened, which are then written as floats.
bool single_precision(const std::vector<orvoeng::Peak>& peaks);

// A scan's header values and, when given, its peaks, as one line of JSON
// Lines appended to `out` (with its line feed).
void append_scan_json(std::string& out, const orvoeng::ScanRecord& scan,
                      const orvoeng::Spectrum* spectrum, const ScanNumbers& numbers);

} // namespace orvohost
