#pragma once

#include "app/cli/cli_options.h"

namespace pelvaro::cli {

// pelvaro-cli without --contribute: the main window's start button in a terminal, through the
// in-memory form (the same code, the same controls, the same log lines). A limit ends the run
// as the stop button does, gives a download under way a grace to finish, then stops it and
// removes its partial file, and reports the taken videos the crawl had not reported yet; a
// signal ends it at once. One summary line goes to stdout. Returns the exit status.
int RunCrawl(const CliOptions& options);

}  // namespace pelvaro::cli
