// The native id of a spectrum, "scan=N", in the format mzXML files have
// (MS:1000776, scan number only). Every id and every reference to one is
// made here, so that what N is can change in one place.
#pragma once

#include <ds/types.h>

#include <cstdint>
#include <string>

namespace orvohost::mzml {

// The N of a scan's native id. For now the scan's label: with the default
// first label it is the num of every scan the plug-in lists, since it
// requires scans numbered 1, 2, 3 in file order. The file's own num will
// take its place once the plug-in hands it over.
std::uint32_t native_scan_number(const orvoeng::ScanRecord& scan);

// Appends "scan=N" for the scan numbered `number`.
void append_native_id(std::string& out, std::uint32_t number);
inline void append_native_id(std::string& out, const orvoeng::ScanRecord& scan) {
    append_native_id(out, native_scan_number(scan));
}
std::string native_id(const orvoeng::ScanRecord& scan);

} // namespace orvohost::mzml
