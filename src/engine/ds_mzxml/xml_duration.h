// Retention times in mzXML are XML Schema durations: "PT12.5S", "PT1M30S",
// "P0DT12S".
#pragma once

#include <string_view>

namespace orvoeng {

// Reads `text` as a duration PnYnMnDTnHnMnS and stores it in `seconds`.
// Days, hours, minutes and seconds may carry fractions. Years and months have
// no fixed length, so a duration that counts any is not read; neither is a
// negative one ("-PT1S").
//
// Text that is no duration is read as the writers of old readers did, with
// the pattern "PT%lfS": "PT" and a number, whatever follows ("PT-1S" gives
// -1). The common "PT<number>S" reads the same either way.
//
// Returns whether `seconds` was set; otherwise it is left as it was.
bool read_xml_duration(std::string_view text, double& seconds);

} // namespace orvoeng
