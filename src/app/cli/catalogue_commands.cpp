#include "app/cli/catalogue_commands.h"

#include <cstdio>

#include "app/cli/cli_options.h"
#include "collector/catalogue_choice.h"
#include "collector/catalogue_csv.h"
#include "collector/catalogue_stats.h"
#include "platform/printable_text.h"
#include "platform/text.h"

namespace pelvaro::cli {

namespace {

void PrintNotice(const Text& line) { std::fprintf(stderr, "%s\n", StripControls(GbkToUtf8(line)).c_str()); }

}  // namespace

int ExportCsvCommand(const std::string& file, const std::string& catalogueUri) {
  const auto opened = OpenCatalogue(catalogueUri, PrintNotice);
  CatalogueBackend& catalogue = *opened;
  if (file == "-") {
    std::string csv;
    if (!CatalogueCsv(catalogue, &csv)) {
      std::fprintf(stderr, "pelvaro-cli: cannot read the catalogue\n");
      return kExitFailed;
    }
    const bool written = std::fwrite(csv.data(), 1, csv.size(), stdout) == csv.size();
    if (std::fflush(stdout) != 0 || !written) {
      std::fprintf(stderr, "pelvaro-cli: cannot write the catalogue to stdout\n");
      return kExitFailed;
    }
    return kExitDone;
  }
  if (!ExportCatalogueCsv(catalogue, Utf8ToGbk(file))) {
    std::fprintf(stderr, "pelvaro-cli: cannot write the catalogue to '%s'\n", file.c_str());
    return kExitFailed;
  }
  return kExitDone;
}

int StatsCommand(const std::string& catalogueUri) {
  const auto opened = OpenCatalogue(catalogueUri, PrintNotice);
  CatalogueBackend& catalogue = *opened;
  CatalogueStats stats;
  if (!ReadCatalogueStats(catalogue, &stats)) {
    std::fprintf(stderr, "pelvaro-cli: cannot read the catalogue\n");
    return kExitFailed;
  }
  std::fputs(FormatCatalogueStats(stats).c_str(), stdout);
  return kExitDone;
}

}  // namespace pelvaro::cli
