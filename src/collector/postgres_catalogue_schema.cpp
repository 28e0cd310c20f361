#include "collector/postgres_catalogue_schema.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace pelvaro {

namespace {

// The advisory lock every collector takes to migrate: any fixed number, the same for all.
constexpr std::string_view kMigrationLock = "SELECT pg_advisory_xact_lock(7306119120261210)";

// Step i brings version i to version i + 1. Numbers that may pass 2^31 are bigint here.
const std::vector<std::vector<std::string_view>>& Steps() {
  static const std::vector<std::vector<std::string_view>> steps = {
      {
          "CREATE TABLE IF NOT EXISTS videos ("
          " docid text PRIMARY KEY, title text, category text, published text, duration_s bigint,"
          " width bigint, height bigint, size_bytes bigint, url text, path text, taken_at text)",
          "CREATE TABLE IF NOT EXISTS failures ("
          " docid text PRIMARY KEY, attempts integer, last_reason text, last_at text)",
          // A claim stays once its video is taken, so that a collector that asks later, while
          // the row is being written or long after, is told so by the claim alone.
          "CREATE TABLE IF NOT EXISTS claims ("
          " docid text PRIMARY KEY, holder text NOT NULL, expires_at timestamptz NOT NULL,"
          " taken boolean NOT NULL DEFAULT false)",
      },
  };
  return steps;
}

PostgresResult Run(PostgresDatabase& db, std::initializer_list<std::string_view> statements) {
  PostgresResult result;
  for (const std::string_view statement : statements) {
    result = db.exec(statement);
    if (!result.ok()) break;
  }
  return result;
}

}  // namespace

int SharedCatalogueVersion(PostgresDatabase& db) {
  PostgresResult exists = db.exec("SELECT to_regclass('catalogue_version') IS NOT NULL");
  if (!exists.ok() || exists.rows() != 1) return -1;
  if (exists.text(0, 0) != "t") return 0;
  PostgresResult version = db.exec("SELECT coalesce(max(version), 0) FROM catalogue_version");
  return version.ok() && version.rows() == 1 ? static_cast<int>(version.integer(0, 0)) : -1;
}

PostgresResult MigrateSharedCatalogue(PostgresDatabase& db) {
  static_assert(kSharedCatalogueSchemaVersion > 0);
  if (SharedCatalogueVersion(db) >= kSharedCatalogueSchemaVersion) return db.exec("SELECT 1");
  // Another collector may be migrating the same database: take the lock first and read the
  // version again under it.
  PostgresResult result = Run(
      db,
      {"BEGIN", kMigrationLock, "CREATE TABLE IF NOT EXISTS catalogue_version (version integer NOT NULL)"});
  int version = result.ok() ? SharedCatalogueVersion(db) : -1;
  if (result.ok() && version < 0) result = db.exec("SELECT version FROM catalogue_version");
  const auto& steps = Steps();
  for (int step = version; result.ok() && step >= 0 && step < kSharedCatalogueSchemaVersion; ++step) {
    for (const std::string_view statement : steps[static_cast<std::size_t>(step)]) {
      result = db.exec(statement);
      if (!result.ok()) break;
    }
  }
  if (result.ok() && version < kSharedCatalogueSchemaVersion) {
    result = Run(db, {"DELETE FROM catalogue_version"});
    if (result.ok()) {
      result = db.exec("INSERT INTO catalogue_version VALUES ($1)",
                       {std::to_string(kSharedCatalogueSchemaVersion)});
    }
  }
  if (result.ok()) result = db.exec("COMMIT");
  if (!result.ok()) db.exec("ROLLBACK");
  return result;
}

}  // namespace pelvaro
