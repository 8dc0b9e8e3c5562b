// The whole file: header and run metadata, the scans, the scan index and
// the closing checksum.
#pragma once

#include "counted_output.h"
#include "options.h"
#include "run_plan.h"

namespace mkmzxml {

// Writes the document that `options` and `plan` describe; the file is left
// open for the caller to close.
void write_document(const Options& options, const RunPlan& plan, OutputFile& out);

} // namespace mkmzxml
