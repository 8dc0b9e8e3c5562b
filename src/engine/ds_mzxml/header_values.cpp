#include "header_values.h"

#include "text_number.h"
#include "xml_duration.h"

namespace orvoeng {

bool HeaderValues::take(std::size_t name, std::string_view value, std::uint32_t scan_number) {
    switch (name) {
    case NUM:
        return static_cast<std::int64_t>(text_to_int32(value)) == scan_number;
    case MS_LEVEL:
        header.msLevel = text_to_int32(value);
        break;
    case POLARITY:
        polarity_met = true;
        if (value == "+")
            header.polarity = 0;
        else if (value == "-")
            header.polarity = 1;
        break;
    case CENTROIDED:
        // The first one decides.
        if (!centroided_met) {
            centroided_met = true;
            header.centroided = is_true_value(value);
        }
        break;
    case RETENTION:
        read_xml_duration(value, header.retentionTime);
        break;
    case TIC:
        header.totalIonCurrent = text_to_double(value);
        break;
    default:
        break;
    }
    return true;
}

void HeaderValues::take_precursor(std::string_view element) {
    std::string_view value;
    if (element_text_view(element, "precursorMz", value))
        header.precursorMz = text_to_double(value);
    if (attribute_view(element, "precursorCharge", value))
        header.precursorCharge = text_to_int32(value);
}

} // namespace orvoeng
