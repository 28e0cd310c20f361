#pragma once
// The catalogue's tables and their versions. The file's PRAGMA user_version says which steps
// it has had; each step brings one version to the next, inside the transaction that sets the
// new number, so a file is never left half migrated.

#include <string>
#include <vector>

#include "collector/sqlite_database.h"

namespace pelvaro {

// The version this program writes.
inline constexpr int kCatalogueSchemaVersion = 2;

// The statements of every step, made from the column tables: step i (from 0) brings version i
// to version i + 1. Step 1 creates the tables; step 2 keeps failures as kind and detail and
// reads the kind back from the words of the rows written before.
std::vector<std::string> CatalogueSchemaSteps();

// Brings the file to kCatalogueSchemaVersion, creating the tables of an empty file. A file of
// a newer version is left as it is: later versions only add tables and columns, so this
// program's statements still work on it. Returns the SQLite result code.
int MigrateCatalogue(SqliteDatabase& db);

}  // namespace pelvaro
