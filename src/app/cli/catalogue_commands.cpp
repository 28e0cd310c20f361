#include "app/cli/catalogue_commands.h"

#include <cstdio>

#include "collector/catalogue.h"
#include "collector/catalogue_csv.h"
#include "collector/catalogue_stats.h"
#include "platform/printable_text.h"
#include "platform/text.h"

namespace pelvaro::cli {

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;

void PrintNotice(const Text& line) { std::fprintf(stderr, "%s\n", StripControls(GbkToUtf8(line)).c_str()); }

}  // namespace

int ExportCsvCommand(const std::string& file) {
  Catalogue catalogue(CataloguePath(), PrintNotice);
  if (!ExportCatalogueCsv(catalogue, Utf8ToGbk(file))) {
    std::fprintf(stderr, "pelvaro-cli: cannot write the catalogue to '%s'\n", file.c_str());
    return kExitFailed;
  }
  return kExitDone;
}

int StatsCommand() {
  Catalogue catalogue(CataloguePath(), PrintNotice);
  CatalogueStats stats;
  if (!ReadCatalogueStats(catalogue, &stats)) {
    std::fprintf(stderr, "pelvaro-cli: cannot read the catalogue\n");
    return kExitFailed;
  }
  std::fputs(FormatCatalogueStats(stats).c_str(), stdout);
  return kExitDone;
}

}  // namespace pelvaro::cli
