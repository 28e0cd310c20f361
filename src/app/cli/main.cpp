// pelvaro-cli: the collector in a terminal, for unattended runs.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/cli/catalogue_commands.h"
#include "app/cli/cli_options.h"
#include "app/cli/contribute_run.h"
#include "app/cli/crawl_run.h"
#include "collector/history.h"
#include "platform/data_folder.h"
#include "platform/files.h"

int main(int argc, char** argv) {
  using namespace pelvaro;
  using namespace pelvaro::cli;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const ParseResult parsed = ParseCommandLine(arguments);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "pelvaro-cli: %s\nTry 'pelvaro-cli --help'.\n", parsed.error.c_str());
    return kExitBadStart;
  }
  if (parsed.options.help) {
    std::fputs(std::string(UsageText()).c_str(), stdout);
    return 0;
  }
  if (parsed.options.version) {
    std::puts("pelvaro-cli " PELVARO_VERSION);
    return 0;
  }
  // The contribute job walks from the seed link alone; the built-in one gives no answers.
  if (parsed.options.contribute && !parsed.options.seedLinkGiven) {
    std::fputs("pelvaro-cli: --contribute needs --seed-link URL (an article link of the platform)\n", stderr);
    return kExitBadStart;
  }
  if (const DataFolderChoice data = ChooseDataFolder(); !data.error.empty()) {
    std::fprintf(stderr, "pelvaro-cli: %s; set PELVARO_RUN_DIR to a folder that can be written\n",
                 data.error.c_str());
    return kExitBadStart;
  }
  if (parsed.options.exportCsv) return ExportCsvCommand(*parsed.options.exportCsv, parsed.options.catalogueUri);
  if (parsed.options.stats) return StatsCommand(parsed.options.catalogueUri);
  // A crawl marks every video it takes: without a history folder that takes files, each one
  // would be taken again at every pass.
  if (const int error = HistoryFolderError(); error != 0 && !parsed.options.contribute) {
    std::fprintf(stderr, "pelvaro-cli: the history folder %s cannot be written: %s\n",
                 NativePath(HistoryFolder()).c_str(), std::strerror(error));
    return kExitBadStart;
  }
  return parsed.options.contribute ? RunContribute(parsed.options) : RunCrawl(parsed.options);
}
