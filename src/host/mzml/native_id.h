// The native id of a spectrum, "scan=N", in the format mzXML files have
// (MS:1000776, scan number only). Every id and every reference to one is
// made here; N is the num the source file gives the scan (see
// SpectrumSelection::native_number).
#pragma once

#include <cstdint>
#include <string>

namespace orvohost::mzml {

// Appends "scan=N" for the scan numbered `number`.
void append_native_id(std::string& out, std::int64_t number);
std::string native_id(std::int64_t number);

} // namespace orvohost::mzml
