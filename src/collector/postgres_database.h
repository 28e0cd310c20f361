#pragma once
// A small RAII layer over libpq: one connection to a PostgreSQL server and the results of its
// statements as values. Nothing throws; a failed statement is a result that says why, and a
// connection that went away says so, so that the caller can carry on without the server and
// try again later.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;

namespace pelvaro {

class PostgresResult {
 public:
  PostgresResult() = default;
  ~PostgresResult();
  PostgresResult(PostgresResult&& other) noexcept;
  PostgresResult& operator=(PostgresResult&& other) noexcept;
  PostgresResult(const PostgresResult&) = delete;
  PostgresResult& operator=(const PostgresResult&) = delete;

  // The statement ran (with or without rows).
  bool ok() const;
  int rows() const;
  bool isNull(int row, int column) const;
  std::string text(int row, int column) const;
  std::int64_t integer(int row, int column) const;
  // The five-character SQLSTATE of a failure ("" when none was given, for example when the
  // connection broke before the server answered).
  std::string sqlState() const;
  std::string error() const;

 private:
  friend class PostgresDatabase;
  explicit PostgresResult(pg_result* result) : result_(result) {}
  pg_result* result_ = nullptr;
};

// A parameter of a statement: a text, or SQL NULL.
using PostgresParam = std::optional<std::string>;

class PostgresDatabase {
 public:
  PostgresDatabase() = default;
  ~PostgresDatabase();
  PostgresDatabase(const PostgresDatabase&) = delete;
  PostgresDatabase& operator=(const PostgresDatabase&) = delete;

  // Connects to a libpq connection URI ("postgresql://user@host:port/db", also with
  // "?host=/socket/folder"); the connection attempt gives up after `timeout`. False when no
  // connection was made; lastError() then says why.
  bool connect(const std::string& uri, std::chrono::seconds timeout = std::chrono::seconds(5));
  void close();
  // Whether the connection is up as far as libpq knows (a server that went away is noticed by
  // the next statement).
  bool connected() const;
  // Makes the connection anew with the same URI; false while the server cannot be reached.
  bool reconnect();

  // Runs one statement with $1, $2, ... parameters, as text. A statement on a closed or broken
  // connection gives a failed result.
  PostgresResult exec(std::string_view sql, const std::vector<PostgresParam>& params = {});
  // Runs statements separated by ";", without parameters; the result of the last one, or of
  // the first that failed (the rest are not run).
  PostgresResult execScript(std::string_view sql);

  std::string lastError() const;

 private:
  pg_conn* connection_ = nullptr;
  std::string uri_;
  std::chrono::seconds timeout_{5};
};

// Whether a failed result means the server or the connection went away, as opposed to a fault
// of the statement: such a statement may succeed later on a new connection.
bool IsConnectionFailure(const PostgresResult& result, const PostgresDatabase& database);

}  // namespace pelvaro
