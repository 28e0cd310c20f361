#pragma once
// A small RAII layer over SQLite's C API: one connection, its prepared statements, and result
// codes as values. Nothing throws; every call that can fail says so through its result.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace pelvaro {

class SqliteStatement;

class SqliteDatabase {
 public:
  SqliteDatabase() = default;
  ~SqliteDatabase();
  SqliteDatabase(SqliteDatabase&& other) noexcept;
  SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  // Opens (creating when missing) the database file at a file-system path (UTF-8) for reading
  // and writing. Returns the SQLite result code; on failure the object stays closed.
  int open(const std::string& path);
  void close();
  bool isOpen() const { return db_ != nullptr; }

  // How long a statement waits for another connection's lock before it gives up with busy.
  void setBusyTimeout(int milliseconds);

  // Runs one or more statements without results. Returns the result code.
  int exec(std::string_view sql);

  // The first column of the first row of a query as an integer (0 without a row).
  int queryInt(std::string_view sql, int* result);

  // Text of the last failure on this connection.
  std::string lastError() const;

  sqlite3* handle() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

class SqliteStatement {
 public:
  SqliteStatement() = default;
  ~SqliteStatement();
  SqliteStatement(SqliteStatement&& other) noexcept;
  SqliteStatement& operator=(SqliteStatement&& other) noexcept;
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  // Prepares one statement on the connection. Returns the result code.
  int prepare(const SqliteDatabase& db, std::string_view sql);
  bool isPrepared() const { return statement_ != nullptr; }

  // Parameters count from 1. The texts are copied.
  void bind(int index, std::string_view text);
  void bind(int index, std::int64_t value);

  // SQLITE_ROW while rows come, SQLITE_DONE at the end, an error code otherwise.
  int step();
  // Ready for another run with new parameters.
  void reset();

  std::int64_t integer(int column) const;
  std::string text(int column) const;

 private:
  sqlite3_stmt* statement_ = nullptr;
};

// Runs a query with text parameters bound in order (never spliced into the statement) and hands
// each row to `row`. False when the query failed (nothing or only some rows handed over).
bool ForEachRow(const SqliteDatabase& db, std::string_view sql, const std::vector<std::string>& parameters,
                const std::function<void(const SqliteStatement&)>& row);

// Whether a result code says the file is no database or a damaged one.
bool IsDamagedResult(int code);
// Whether a result code says another connection holds the lock.
bool IsBusyResult(int code);

}  // namespace pelvaro
