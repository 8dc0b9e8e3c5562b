// The sections of orvo-host's man page that its options do not give: exit
// statuses, the environment, the files it reads and writes, examples. The
// README's "Using orvo-host" says the same.
#pragma once

#include <host/cli/doc/cli_doc.h>

#include <vector>

namespace orvohost::cli {

std::vector<orvocli::ManSection> host_man_sections();

} // namespace orvohost::cli
