// A scan header as its values are taken: the attribute names a header
// reads and what each of their values sets. The exact reader and the
// one-pass reader meet the values in the same order and take them here, so
// both give the same header.
#pragma once

#include "reader_types.h"
#include "tag_search.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orvoeng {

enum HeaderAttribute : std::size_t {
    NUM,
    MS_LEVEL,
    POLARITY,
    CENTROIDED,
    RETENTION,
    TIC,
    HEADER_ATTRIBUTES
};
inline constexpr std::string_view HEADER_LIST[HEADER_ATTRIBUTES] = {
    "num", "msLevel", "polarity", "centroided", "retentionTime", "totIonCurrent"};
inline constexpr AttributeNames HEADER_NAMES(HEADER_LIST);

struct HeaderValues {
    ScanHeader header;
    bool polarity_met = false;
    // Whether the scan states its centroiding: the reader counts those.
    bool centroided_met = false;

    // Takes one value of HEADER_NAMES[name]; false when it is a `num` that
    // names another scan than `scan_number`.
    bool take(std::size_t name, std::string_view value, std::uint32_t scan_number);
    // Takes a precursorMz element gathered whole, tag and text.
    void take_precursor(std::string_view element);
    // The header once every value is taken: a scan without a polarity is
    // read as "+".
    const ScanHeader& finished() {
        if (!polarity_met)
            header.polarity = 0;
        return header;
    }
};

} // namespace orvoeng
