// orvo.Error and how the C++ failures under the module become Python ones.
#pragma once

#include <pybind11/pybind11.h>

namespace orvopy {

// Adds orvo.Error to the module and translates, for every call:
// PAL::AppError into orvo.Error with code, message_id, arguments and the
// catalog's sentence; other failures of the platform layer and the host
// into orvo.Error with their description; a closed run into ValueError.
void register_errors(pybind11::module_& module);

} // namespace orvopy
