// What the plug-in's records mean where they stand for "not given": its
// sentinel values turned into absent values, and its codes into words.
#pragma once

#include <ds/data_source_intf.h>
#include <ds/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace orvohost {

// "+", "-" or nothing when the file does not say.
std::optional<std::string> polarity_text(std::int32_t polarity);
// The charge when the file gives one.
std::optional<std::int32_t> known_charge(const orvoeng::ScanRecord& scan);
// The charge with the ion's sign: negative for a scan of negative
// polarity, as the file gives it for an unknown one.
std::optional<std::int32_t> signed_charge(const orvoeng::ScanRecord& scan);
// The total ion current when the file gives one: the plug-in hands 0 for a
// scan without totIonCurrent, so 0 is taken as not given.
std::optional<double> known_tic(const orvoeng::ScanRecord& scan);
// The parent's label of an MS2 scan that has one.
std::optional<std::uint32_t> known_parent(const orvoeng::ScanRecord& scan);

// "centroided" or "profile".
std::string peak_kind_text(const orvoeng::Spectrum& spectrum);

// The name of a run-information key ("instrument", "detail"...), as every
// output form names it.
const char* info_key_name(std::int32_t key);

// The run's scan mix in words ("MS1 and MS2 scans", ...).
std::string scan_mix_text(std::int32_t mix);

// Seconds since 1970 as an ISO 8601 UTC date-time, "2026-01-02T03:04:05Z".
std::string iso8601_utc(std::int64_t seconds);

} // namespace orvohost
