#include "collector/catalogue_schema.h"

#include <sqlite3.h>

#include <string>
#include <string_view>

#include "collector/catalogue_columns.h"
#include "web/download_failure.h"

namespace pelvaro {

namespace {

// A text as an SQL string literal.
std::string Quoted(std::string_view text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') quoted += '\'';
    quoted += c;
  }
  return quoted + "'";
}

std::string AddedColumns(std::string_view table, std::span<const FailureColumn> columns, int version) {
  std::string sql;
  for (const FailureColumn& column : columns) {
    if (column.since != version) continue;
    sql += "ALTER TABLE " + std::string(table) + " ADD COLUMN " + std::string(column.name) + " " +
           std::string(column.type) + ";";
  }
  return sql;
}

// The kind and detail of failures stored by their words alone: every kind whose words carry no
// detail, "HTTP " and a status, and a number of seconds without data. Words no kind says any
// more keep a null kind and are shown as they were stored.
std::string KindsFromWords() {
  std::string sql;
  const auto words = [](FailureKind kind, long detail) { return GbkToUtf8(FailureText({kind, detail})); };
  for (const FailureKind kind : AllFailureKinds()) {
    if (kind == FailureKind::HttpStatus || kind == FailureKind::NoData) continue;
    sql += "UPDATE failures SET last_kind = " + Quoted(FailureKindName(kind)) +
           ", last_detail = 0 WHERE last_kind IS NULL AND last_reason = " + Quoted(words(kind, 0)) + ";";
  }
  const std::string http = words(FailureKind::HttpStatus, 0);
  const std::string httpPrefix = http.substr(0, http.size() - 1);  // "HTTP "
  const std::string number =
      "CAST(CAST(substr(last_reason, " + std::to_string(httpPrefix.size() + 1) + ") AS INTEGER) AS TEXT)";
  sql += "UPDATE failures SET last_kind = " + Quoted(FailureKindName(FailureKind::HttpStatus)) +
         ", last_detail = CAST(" + number +
         " AS INTEGER) WHERE last_kind IS NULL AND last_reason = " + Quoted(httpPrefix) + " || " + number +
         ";";
  const std::string noData = words(FailureKind::NoData, 0).substr(1);  // "秒没有收到数据"
  sql += "UPDATE failures SET last_kind = " + Quoted(FailureKindName(FailureKind::NoData)) +
         ", last_detail = CAST(last_reason AS INTEGER) WHERE last_kind IS NULL AND last_reason ="
         " CAST(CAST(last_reason AS INTEGER) AS TEXT) || " +
         Quoted(noData) + ";";
  return sql;
}

}  // namespace

std::vector<std::string> CatalogueSchemaSteps() {
  return {
      "CREATE TABLE IF NOT EXISTS videos (" + ColumnDefinitions<VideoColumn>(kVideoColumns, 1) +
          ");"
          "CREATE TABLE IF NOT EXISTS failures (" +
          ColumnDefinitions<FailureColumn>(kFailureColumns, 1) + ");",
      AddedColumns("failures", kFailureColumns, 2) + KindsFromWords(),
  };
}

int MigrateCatalogue(SqliteDatabase& db) {
  int version = 0;
  int code = db.queryInt("PRAGMA user_version", &version);
  if (code != SQLITE_OK || version >= kCatalogueSchemaVersion) return code;
  // Another copy of the program may be migrating the same file: take the write lock first and
  // read the version again under it.
  code = db.exec("BEGIN IMMEDIATE");
  if (code != SQLITE_OK) return code;
  code = db.queryInt("PRAGMA user_version", &version);
  const std::vector<std::string> steps = CatalogueSchemaSteps();
  for (int step = version; code == SQLITE_OK && step < kCatalogueSchemaVersion; ++step) {
    code = db.exec(steps[static_cast<std::size_t>(step)]);
  }
  if (code == SQLITE_OK && version < kCatalogueSchemaVersion) {
    code = db.exec("PRAGMA user_version = " + std::to_string(kCatalogueSchemaVersion));
  }
  if (code == SQLITE_OK) code = db.exec("COMMIT");
  if (code != SQLITE_OK) db.exec("ROLLBACK");
  return code;
}

}  // namespace pelvaro
