#include "collector/catalogue_browse.h"

#include <sqlite3.h>

#include <string>

#include "collector/catalogue_columns.h"
#include "platform/files.h"

namespace pelvaro {

namespace {

// A row of "rowid, " + the videos columns.
CatalogueVideo VideoOf(const SqliteStatement& row) {
  CatalogueVideo video;
  int index = 1;
  for (const VideoColumn& column : kVideoColumns) {
    if (column.text != nullptr) {
      video.*column.text = row.text(index++);
    } else {
      video.*column.number = row.integer(index++);
    }
  }
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
  return reader.read("SELECT rowid, " + VideoColumnList() + " FROM videos ORDER BY rowid", {},
                     [videos](const SqliteStatement& row) { videos->push_back(VideoOf(row)); });
}

bool ReadCatalogueFailures(CatalogueReader& reader, std::vector<CatalogueFailure>* failures) {
  return reader.read(
      "SELECT docid, attempts, coalesce(last_reason, ''), coalesce(last_at, ''), coalesce(last_kind, ''),"
      " coalesce(last_detail, 0) FROM failures ORDER BY last_at DESC, docid",
      {}, [failures](const SqliteStatement& row) {
        failures->push_back({row.text(0), row.integer(1),
                             StoredFailureWords(row.text(4), row.integer(5), row.text(2)), row.text(3)});
      });
}

std::string CatalogueVideoPath(Catalogue& catalogue, std::string_view docid) {
  std::string path;
  catalogue.read("SELECT coalesce(path, '') FROM videos WHERE docid = ?", {std::string(docid)},
                 [&path](const SqliteStatement& row) { path = row.text(0); });
  return path;
}

}  // namespace pelvaro
