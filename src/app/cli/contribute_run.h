#pragma once

#include "app/cli/cli_options.h"

namespace pelvaro::cli {

// pelvaro-cli --contribute: the main window's contribute button in a terminal. Walks the
// related videos from the seed link and reports each unseen one to the collection service
// until --max-videos reports were sent, --max-seconds passed or Ctrl-C stops it at once. Each
// reply goes to stderr as "reported DOCID CATEGORY: REPLY"; at the end one summary line
// "summary reported=N in_history=N passes=N seconds=S" goes to stdout. Returns the exit status.
int RunContribute(const CliOptions& options);

}  // namespace pelvaro::cli
