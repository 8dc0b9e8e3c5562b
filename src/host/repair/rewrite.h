// The second pass: the copy written token by token from the input, each
// tag the reader cares about edited, everything else copied.
#pragma once

#include "copy_writer.h"
#include "repair.h"
#include "survey.h"

#include <filesystem>

namespace orvohost::repair {

// With more than one thread, compressed peak texts inflate on `threads`
// threads of their own.
void rewrite_file(const std::filesystem::path& input, const Survey& survey, CopyWriter& out,
                  const ScanMapSink& map, RepairReport& report, unsigned threads);

} // namespace orvohost::repair
