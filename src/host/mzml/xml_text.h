// The small pieces of mzML text: indentation, and
// cvParam elements whose accession and name always come from the one table
// of terms.
#pragma once

#include "cv_terms.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orvohost::mzml {

// Two blanks a level of nesting.
std::string_view indent(std::size_t level);

// <cvParam cvRef=".." accession=".." name=".." value=""/> on its own line.
void append_cv_param(std::string& out, std::size_t level, Cv term);
// With a value given as text (escaped here) and, when given, its unit.
void append_cv_param(std::string& out, std::size_t level, Cv term, std::string_view value,
                     std::optional<Cv> unit = std::nullopt);
// With a number as short as exact (as a 32-bit float when `single`).
void append_cv_number(std::string& out, std::size_t level, Cv term, double value, bool single,
                      std::optional<Cv> unit = std::nullopt);
void append_cv_integer(std::string& out, std::size_t level, Cv term, long long value);

} // namespace orvohost::mzml
