#pragma once
// What the catalogue holds, summed up: videos and bytes per category and per day taken, and
// the remembered failures per reason.

#include <cstdint>
#include <string>
#include <vector>

namespace pelvaro {

class CatalogueBackend;

struct CatalogueCount {
  std::string key;  // UTF-8: a category, a day (YYYY-MM-DD) or a reason
  std::int64_t videos = 0;
  std::int64_t bytes = 0;     // per category and day
  std::int64_t attempts = 0;  // per reason
  std::int64_t givenUp = 0;   // per reason: videos no longer tried
};

struct CatalogueStats {
  std::int64_t videos = 0;
  std::int64_t bytes = 0;
  std::vector<CatalogueCount> byCategory;
  std::vector<CatalogueCount> byDay;
  std::vector<CatalogueCount> failuresByReason;
};

// False when the catalogue could not be read.
bool ReadCatalogueStats(CatalogueBackend& catalogue, CatalogueStats* stats);

// One "key=value" line per figure (UTF-8), control characters of the stored texts removed.
std::string FormatCatalogueStats(const CatalogueStats& stats);

}  // namespace pelvaro
