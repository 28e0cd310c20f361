#pragma once
// A small RAII layer over SQLite's C API: one connection, its prepared statements, and result
// codes as values. Nothing throws; every call that can fail says so through its result.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace pelvaro {

class SqliteStatement;

// How long one statement may run on a connection before SQLite interrupts it (it then fails
// with SQLITE_INTERRUPT). Shared by the connection and its statements, which may outlive it.
struct SqliteRunLimit {
  std::chrono::milliseconds limit{0};  // 0: no limit
  std::chrono::steady_clock::time_point deadline;
  void arm() { deadline = std::chrono::steady_clock::now() + limit; }
};

class SqliteDatabase {
 public:
  SqliteDatabase() = default;
  ~SqliteDatabase();
  SqliteDatabase(SqliteDatabase&& other) noexcept;
  SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  // Opens (creating when missing) the database file at a file-system path (UTF-8) for reading
  // and writing. Returns the SQLite result code; on failure the object stays closed. The file
  // is data that anyone may have written: a path that is a symbolic link is refused, the
  // connection is defensive (no writable schema, no shadow-table or schema writes by SQL),
  // the schema is not trusted (its triggers and views call no function with side effects),
  // and every statement is bounded in time (setStatementTimeLimit).
  int open(const std::string& path);
  void close();
  bool isOpen() const { return db_ != nullptr; }

  // How long a statement waits for another connection's lock before it gives up with busy.
  void setBusyTimeout(int milliseconds);

  // The longest one statement (or one step of it) may run; a trigger that never ends or a
  // query that explodes is interrupted. Applies to statements prepared later too.
  void setStatementTimeLimit(std::chrono::milliseconds limit);

  // Runs one or more statements without results. Returns the result code.
  int exec(std::string_view sql);

  // The first column of the first row of a query as an integer (0 without a row).
  int queryInt(std::string_view sql, int* result);

  // Text of the last failure on this connection.
  std::string lastError() const;

  sqlite3* handle() const { return db_; }

 private:
  friend class SqliteStatement;
  sqlite3* db_ = nullptr;
  std::shared_ptr<SqliteRunLimit> runLimit_;
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
  // The same by a parameter's name (":name"); a name the statement lacks is passed over.
  void bindNamed(std::string_view name, std::string_view text);
  void bindNamed(std::string_view name, std::int64_t value);

  // SQLITE_ROW while rows come, SQLITE_DONE at the end, an error code otherwise.
  int step();
  // Ready for another run with new parameters.
  void reset();

  std::int64_t integer(int column) const;
  std::string text(int column) const;

 private:
  sqlite3_stmt* statement_ = nullptr;
  std::shared_ptr<SqliteRunLimit> runLimit_;
};

// Runs a query with text parameters bound in order (never spliced into the statement) and hands
// each row to `row`. False when the query failed (nothing or only some rows handed over); the
// last result code goes to *result when given.
bool ForEachRow(const SqliteDatabase& db, std::string_view sql, const std::vector<std::string>& parameters,
                const std::function<void(const SqliteStatement&)>& row, int* result = nullptr);

// Whether a result code says the file is no database or a damaged one.
bool IsDamagedResult(int code);
// Whether a result code says another connection holds the lock.
bool IsBusyResult(int code);

}  // namespace pelvaro
