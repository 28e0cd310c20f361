#pragma once
// The catalogue's tables and their versions. The file's PRAGMA user_version says which steps
// it has had; each step brings one version to the next, inside the transaction that sets the
// new number, so a file is never left half migrated.

#include "collector/sqlite_database.h"

namespace pelvaro {

// The version this program writes.
inline constexpr int kCatalogueSchemaVersion = 1;

// Brings the file to kCatalogueSchemaVersion, creating the tables of an empty file. A file of
// a newer version is left as it is: later versions only add tables and columns, so this
// program's statements still work on it. Returns the SQLite result code.
int MigrateCatalogue(SqliteDatabase& db);

}  // namespace pelvaro
