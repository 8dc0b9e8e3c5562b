// The copy written token by token from the input, each tag the reader
// cares about edited, everything else copied: after a survey, or in the
// same pass as the survey, on a guess of what it will find.
#pragma once

#include "copy_writer.h"
#include "repair.h"
#include "survey.h"

#include <cstdint>
#include <filesystem>
#include <optional>

namespace orvohost::repair {

// With more than one thread, compressed peak texts inflate on `threads`
// threads of their own.
void rewrite_file(const std::filesystem::path& input, const Survey& survey, CopyWriter& out,
                  const ScanMapSink& map, RepairReport& report, unsigned threads);

// The copy written while the file is surveyed, on the guess that it holds
// `scans` scans, each numbered by its position, and no digest unless
// `hashed` (whether `out` hashes). Nothing when the guess held and the copy
// is written, as rewrite_file would have written it; else the survey, and
// the copy must be written again from it. Raises RepairRefused as
// survey_file does.
std::optional<Survey> rewrite_guessing(const std::filesystem::path& input, std::uint64_t scans,
                                       bool hashed, CopyWriter& out, const ScanMapSink& map,
                                       RepairReport& report, unsigned threads);

} // namespace orvohost::repair
