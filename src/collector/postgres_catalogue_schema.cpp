#include "collector/postgres_catalogue_schema.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "collector/catalogue_schema.h"

namespace pelvaro {

namespace {

// The advisory lock every collector takes to migrate: any fixed number, the same for all.
constexpr std::string_view kMigrationLock = "SELECT pg_advisory_xact_lock(7306119120261210)";

// The file catalogue's steps, for this server: its INTEGER is 32 bits where SQLite's is 64, so
// every one becomes a BIGINT (file sizes pass 2^31). The fleet's claims join the first step.
std::vector<std::string> Steps() {
  std::vector<std::string> steps = CatalogueSchemaSteps();
  for (std::string& step : steps) {
    for (auto at = step.find("INTEGER"); at != std::string::npos; at = step.find("INTEGER", at)) {
      step.replace(at, 7, "BIGINT");
    }
  }
  // A claim stays once its video is taken, so that a collector that asks later, while the row
  // is being written or long after, is told so by the claim alone.
  steps.front() +=
      ";CREATE TABLE IF NOT EXISTS claims (docid TEXT PRIMARY KEY, holder TEXT NOT NULL,"
      " expires_at TIMESTAMPTZ NOT NULL, taken BOOLEAN NOT NULL DEFAULT false)";
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
  if (SharedCatalogueVersion(db) >= kSharedCatalogueSchemaVersion) return db.exec("SELECT 1");
  // Another collector may be migrating the same database: take the lock first and read the
  // version again under it.
  PostgresResult result = Run(
      db,
      {"BEGIN", kMigrationLock, "CREATE TABLE IF NOT EXISTS catalogue_version (version integer NOT NULL)"});
  int version = result.ok() ? SharedCatalogueVersion(db) : -1;
  if (result.ok() && version < 0) result = db.exec("SELECT version FROM catalogue_version");
  const std::vector<std::string> steps = Steps();
  for (int step = version; result.ok() && step >= 0 && step < kSharedCatalogueSchemaVersion; ++step) {
    result = db.execScript(steps[static_cast<std::size_t>(step)]);
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
