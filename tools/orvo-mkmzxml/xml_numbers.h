// Numbers as the file writes them, appended without allocating.
#pragma once

#include "counted_output.h"

#include <cstdint>

namespace mkmzxml {

void write_uint(OutputFile& out, std::uint64_t value);

// The shortest text that reads back as the same value: of the float when
// `single`, else of the double.
void write_value(OutputFile& out, double value, bool single);

// An XML Schema duration in seconds with three decimals: "PT12.345S".
void write_seconds(OutputFile& out, std::uint64_t milliseconds);

} // namespace mkmzxml
