// One binaryDataArray element: its encoding terms, what the array holds,
// and the values as base64 text.
#pragma once

#include "array_encoding.h"
#include "cv_terms.h"

#include <cstddef>
#include <string>

namespace orvohost::mzml {

// `count` values `stride` doubles apart from `first`, as an array of kind
// `array` (m/z, intensity or time array) measured in `unit`.
void append_binary_array(std::string& out, std::size_t level, Cv array, Cv unit,
                         const double* first, std::size_t count, std::size_t stride,
                         const ArrayFormat& format);

} // namespace orvohost::mzml
