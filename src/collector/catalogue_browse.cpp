#include "collector/catalogue_browse.h"

#include <string>

namespace pelvaro {

namespace {

// The videos columns in the order CatalogueVideo lists them, after the rowid that pages them.
constexpr std::string_view kVideoColumns =
    "rowid, docid, title, category, published, duration_s, width, height, size_bytes, url, path, taken_at";

CatalogueVideo VideoOf(const SqliteStatement& row) {
  CatalogueVideo video;
  video.docid = row.text(1);
  video.title = row.text(2);
  video.category = row.text(3);
  video.published = row.text(4);
  video.durationS = row.integer(5);
  video.width = row.integer(6);
  video.height = row.integer(7);
  video.sizeBytes = row.integer(8);
  video.url = row.text(9);
  video.path = row.text(10);
  video.takenAt = row.text(11);
  return video;
}

}  // namespace

bool ReadCatalogueVideos(Catalogue& catalogue, std::vector<CatalogueVideo>* videos, int pageRows) {
  if (pageRows < 1) pageRows = 1;
  std::int64_t after = -1;
  for (;;) {
    // The rowid is this program's own number, never text from outside.
    const std::string select = "SELECT " + std::string(kVideoColumns) + " FROM videos WHERE rowid > " +
                               std::to_string(after) + " ORDER BY rowid LIMIT " + std::to_string(pageRows);
    int rows = 0;
    const bool ok = catalogue.read(select, [&](const SqliteStatement& row) {
      after = row.integer(0);
      videos->push_back(VideoOf(row));
      ++rows;
    });
    if (!ok) return false;
    if (rows < pageRows) return true;
  }
}

bool ReadCatalogueFailures(Catalogue& catalogue, std::vector<CatalogueFailure>* failures) {
  return catalogue.read(
      "SELECT docid, attempts, coalesce(last_reason, ''), coalesce(last_at, '') FROM failures"
      " ORDER BY last_at DESC, docid",
      [failures](const SqliteStatement& row) {
        failures->push_back({row.text(0), row.integer(1), row.text(2), row.text(3)});
      });
}

std::string CatalogueVideoPath(Catalogue& catalogue, std::string_view docid) {
  std::string path;
  catalogue.read("SELECT coalesce(path, '') FROM videos WHERE docid = ?", {std::string(docid)},
                 [&path](const SqliteStatement& row) { path = row.text(0); });
  return path;
}

}  // namespace pelvaro
