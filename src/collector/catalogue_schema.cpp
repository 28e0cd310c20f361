#include "collector/catalogue_schema.h"

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace pelvaro {

namespace {

// Step i brings version i to version i + 1.
constexpr std::string_view kSteps[] = {
    "CREATE TABLE IF NOT EXISTS videos ("
    " docid TEXT PRIMARY KEY, title TEXT, category TEXT, published TEXT, duration_s INTEGER,"
    " width INTEGER, height INTEGER, size_bytes INTEGER, url TEXT, path TEXT, taken_at TEXT);"
    "CREATE TABLE IF NOT EXISTS failures ("
    " docid TEXT PRIMARY KEY, attempts INTEGER, last_reason TEXT, last_at TEXT);",
};
static_assert(std::size(kSteps) == kCatalogueSchemaVersion);

}  // namespace

int MigrateCatalogue(SqliteDatabase& db) {
  int version = 0;
  int code = db.queryInt("PRAGMA user_version", &version);
  if (code != SQLITE_OK || version >= kCatalogueSchemaVersion) return code;
  // Another copy of the program may be migrating the same file: take the write lock first and
  // read the version again under it.
  code = db.exec("BEGIN IMMEDIATE");
  if (code != SQLITE_OK) return code;
  code = db.queryInt("PRAGMA user_version", &version);
  for (int step = version; code == SQLITE_OK && step < kCatalogueSchemaVersion; ++step) {
    code = db.exec(kSteps[step]);
  }
  if (code == SQLITE_OK && version < kCatalogueSchemaVersion) {
    code = db.exec("PRAGMA user_version = " + std::to_string(kCatalogueSchemaVersion));
  }
  if (code == SQLITE_OK) code = db.exec("COMMIT");
  if (code != SQLITE_OK) db.exec("ROLLBACK");
  return code;
}

}  // namespace pelvaro
