// Scan elements as two real converters write them, so that the reader and
// the benchmarks meet those files' bytes: their attributes, order, number
// texts and indentation.
#pragma once

#include "counted_output.h"
#include "scan_element.h"

#include <cstdint>

namespace mkmzxml {

// ReAdW (mzXML 2.x): scan attributes one a line, aligned with blanks under
// the first; the peaks tag over three lines, its later lines indented with
// tabs; numbers as C's %g with a three-digit exponent, as its Windows
// runtime prints them; the precursor with its intensity. Returns the
// offset of "<scan".
std::uint64_t write_readw_scan(OutputFile& out, const Scan& scan);

// msconvert's mzXML writer, as repair brings its 3.2 output to 2.1 (contentType
// renamed pairOrder in place, compressionType="none" and compressedLen="0"
// kept): every attribute on a line of its own, a filter line, shortest
// numbers with exponents as "e06". With compressed peaks, the 3.2 tag as
// msconvert writes it with zlib. Returns the offset of "<scan".
std::uint64_t write_msconvert_scan(OutputFile& out, const Scan& scan);

} // namespace mkmzxml
