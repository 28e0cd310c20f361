#include "collector/catalogue_browse.h"

#include <sqlite3.h>

#include <string>

#include "platform/files.h"

namespace pelvaro {

namespace {

// The videos columns in the order CatalogueVideo lists them, after the rowid.
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

CatalogueReader::CatalogueReader(const Catalogue& catalogue) {
  if (!catalogue.usable() || db_.open(catalogue.path().bytes()) != SQLITE_OK) return;
  db_.setBusyTimeout(Catalogue::kBusyTimeoutMs);
  usable_ = db_.exec("PRAGMA query_only = 1") == SQLITE_OK;
  if (!usable_) db_.close();
}

bool CatalogueReader::read(std::string_view sql, const std::vector<std::string>& parameters,
                           const std::function<void(const SqliteStatement&)>& row) {
  if (!usable_) return false;
  std::lock_guard lock(mutex_);
  return ForEachRow(db_, sql, parameters, row);
}

bool ReadCatalogueVideos(CatalogueReader& reader, std::vector<CatalogueVideo>* videos) {
  return reader.read("SELECT " + std::string(kVideoColumns) + " FROM videos ORDER BY rowid", {},
                     [videos](const SqliteStatement& row) { videos->push_back(VideoOf(row)); });
}

bool ReadCatalogueFailures(CatalogueReader& reader, std::vector<CatalogueFailure>* failures) {
  return reader.read(
      "SELECT docid, attempts, coalesce(last_reason, ''), coalesce(last_at, '') FROM failures"
      " ORDER BY last_at DESC, docid",
      {}, [failures](const SqliteStatement& row) {
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
