// orvo.to_mzml: an mzXML file written as indexed mzML, as orvo-host mzml
// writes it. Only in builds that have the mzml room (expat and MS-Numpress).
#pragma once

#include <pybind11/pybind11.h>

namespace orvopy {

void add_to_mzml(pybind11::module_& module);

} // namespace orvopy
