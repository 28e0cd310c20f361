#include "collector/catalogue_stats.h"

#include <algorithm>

#include "collector/catalogue.h"
#include "collector/catalogue_columns.h"
#include "platform/printable_text.h"

namespace pelvaro {

bool ReadCatalogueStats(CatalogueBackend& catalogue, CatalogueStats* stats) {
  CatalogueStats result;
  bool ok = catalogue.readCells("SELECT count(*), coalesce(sum(size_bytes), 0) FROM videos",
                           [&result](const CatalogueCells& row) {
                             result.videos = row.integer(0);
                             result.bytes = row.integer(1);
                           });
  const auto counts = [](std::vector<CatalogueCount>& into) {
    return [&into](const CatalogueCells& row) {
      into.push_back({row.text(0), row.integer(1), row.integer(2), 0, 0});
    };
  };
  ok = ok && catalogue.readCells(
                 "SELECT coalesce(category, ''), count(*), coalesce(sum(size_bytes), 0) FROM videos"
                 " GROUP BY 1 ORDER BY 2 DESC, 1",
                 counts(result.byCategory));
  ok = ok && catalogue.readCells(
                 "SELECT substr(coalesce(taken_at, ''), 1, 10), count(*), coalesce(sum(size_bytes), 0)"
                 " FROM videos GROUP BY 1 ORDER BY 1",
                 counts(result.byDay));
  ok = ok &&
       catalogue.readCells(
           "SELECT coalesce(last_kind, ''), coalesce(last_detail, 0),"
           " max(coalesce(last_reason, '')), count(*),"
           " coalesce(sum(attempts), 0), sum(CASE WHEN attempts >= " +
               std::to_string(Catalogue::kGiveUpAttempts) +
               " THEN 1 ELSE 0 END) FROM failures"
               " GROUP BY 1, 2, CASE WHEN last_kind IS NULL THEN last_reason END",
           [&result](const CatalogueCells& row) {
             result.failuresByReason.push_back({StoredFailureWords(row.text(0), row.integer(1), row.text(2)),
                                                row.integer(3), 0, row.integer(4), row.integer(5)});
           });
  // Most videos first, then by the words shown, as the words are made only now.
  std::sort(result.failuresByReason.begin(), result.failuresByReason.end(),
            [](const CatalogueCount& a, const CatalogueCount& b) {
              return a.videos != b.videos ? a.videos > b.videos : a.key < b.key;
            });
  if (ok) *stats = std::move(result);
  return ok;
}

std::string FormatCatalogueStats(const CatalogueStats& stats) {
  std::string text =
      "videos=" + std::to_string(stats.videos) + " bytes=" + std::to_string(stats.bytes) + "\n";
  for (const auto& count : stats.byCategory) {
    text += "category=" + StripControls(count.key) + " videos=" + std::to_string(count.videos) +
            " bytes=" + std::to_string(count.bytes) + "\n";
  }
  for (const auto& count : stats.byDay) {
    text += "day=" + StripControls(count.key) + " videos=" + std::to_string(count.videos) +
            " bytes=" + std::to_string(count.bytes) + "\n";
  }
  for (const auto& count : stats.failuresByReason) {
    text += "failure=" + StripControls(count.key) + " videos=" + std::to_string(count.videos) +
            " attempts=" + std::to_string(count.attempts) + " given_up=" + std::to_string(count.givenUp) +
            "\n";
  }
  return text;
}

}  // namespace pelvaro
