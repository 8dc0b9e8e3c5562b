// Plug-in records as Python values: numpy columns of a scan list, one
// scan's values as a dict, peaks as arrays that share the plug-in's list.
#pragma once

#include "run.h"

#include <cstdint>
#include <optional>

#include <ds/data_source_intf.h>
#include <ds/types.h>

#include <pybind11/pybind11.h>

#include <cstdint>

namespace orvopy {

pybind11::dict scan_columns(Run& run);
// One scan's header values and its tags' values, with "mz" and
// "intensity" from `arrays`.
pybind11::dict scan_dict(const orvoeng::ScanRecord& scan, std::optional<std::int64_t> number,
                         const orvohost::ScanTagValues& tags, const pybind11::tuple& arrays);

// (mz, intensity): strided float64 views of the peak list, which a small
// owner object keeps alive for as long as either array lives.
pybind11::tuple peak_arrays(const PAL::SmartPtr<orvoeng::Spectrum>& spectrum);

// Seconds since 1970 as a timezone-aware datetime in UTC.
pybind11::object utc_datetime(std::int64_t seconds);

} // namespace orvopy
