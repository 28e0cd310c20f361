#pragma once
// The shared catalogue's tables and their versions on a PostgreSQL server. The table
// catalogue_version holds the steps a database has had; each step brings one version to the
// next inside the transaction that sets the new number, under an advisory lock, so that
// collectors starting together migrate once and a database is never left half migrated.
// The steps are those of the file catalogue, made from the same column tables, plus the fleet's
// claims.

#include "collector/catalogue_schema.h"
#include "collector/postgres_database.h"

namespace pelvaro {

// The version this program writes: the file catalogue's.
inline constexpr int kSharedCatalogueSchemaVersion = kCatalogueSchemaVersion;

// Brings the database to kSharedCatalogueSchemaVersion. A database of a newer version is left
// as it is: later versions only add tables and columns, so this program's statements still
// work on it. Returns the failed result, or an ok one.
PostgresResult MigrateSharedCatalogue(PostgresDatabase& db);

// The version the database says it has (0 without the version table, -1 when unreadable).
int SharedCatalogueVersion(PostgresDatabase& db);

}  // namespace pelvaro
