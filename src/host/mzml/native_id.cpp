#include "native_id.h"

#include <fmt/format.h>

#include <iterator>

namespace orvohost::mzml {

std::uint32_t native_scan_number(const orvoeng::ScanRecord& scan) {
    return scan.label;
}

void append_native_id(std::string& out, std::uint32_t number) {
    fmt::format_to(std::back_inserter(out), "scan={}", number);
}

std::string native_id(const orvoeng::ScanRecord& scan) {
    std::string id;
    append_native_id(id, scan);
    return id;
}

} // namespace orvohost::mzml
