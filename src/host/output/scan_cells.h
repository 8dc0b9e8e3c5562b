// A scan as people and programs read it: one row of a listing, or one
// object of JSON Lines with its peaks.
#pragma once

#include "listing.h"

#include <host/session/scan_numbers.h>
#include <host/session/scan_tags.h>

#include <ds/data_source_intf.h>
#include <ds/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace orvohost {

// Columns of a scan listing, in the order of scan_row; scan_number is the
// num the file gives the scan, which search hits name; the columns after it
// are what the scan's tags state (peaks_count as declared, before the
// reader's m/z floor).
const std::vector<Column>& scan_columns();
Row scan_row(const orvoeng::ScanRecord& scan, const ScanNumbers& numbers,
             const ScanTagValues& tags);

// Whether every m/z and intensity is exactly a 32-bit float: the values of
// a 32-bit file, widened, which are then written as floats.
bool single_precision(const std::vector<orvoeng::Peak>& peaks);

// A scan's header values and, when given, its peaks, as one line of JSON
// Lines appended to `out` (with its line feed); the file's name first when
// `file` is not empty, as a listing of many files gives it.
void append_scan_json(std::string& out, const orvoeng::ScanRecord& scan,
                      const orvoeng::Spectrum* spectrum, const ScanNumbers& numbers,
                      const ScanTagValues& tags, std::string_view file = {});

} // namespace orvohost
