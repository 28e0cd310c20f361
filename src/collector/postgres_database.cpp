#include "collector/postgres_database.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <utility>

namespace pelvaro {

PostgresResult::~PostgresResult() { PQclear(result_); }

PostgresResult::PostgresResult(PostgresResult&& other) noexcept
    : result_(std::exchange(other.result_, nullptr)) {}

PostgresResult& PostgresResult::operator=(PostgresResult&& other) noexcept {
  if (this != &other) {
    PQclear(result_);
    result_ = std::exchange(other.result_, nullptr);
  }
  return *this;
}

bool PostgresResult::ok() const {
  if (result_ == nullptr) return false;
  const ExecStatusType status = PQresultStatus(result_);
  return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

int PostgresResult::rows() const { return result_ != nullptr ? PQntuples(result_) : 0; }

bool PostgresResult::isNull(int row, int column) const {
  return result_ == nullptr || row >= PQntuples(result_) || column >= PQnfields(result_) ||
         PQgetisnull(result_, row, column) != 0;
}

std::string PostgresResult::text(int row, int column) const {
  if (isNull(row, column)) return {};
  return std::string(PQgetvalue(result_, row, column),
                     static_cast<std::size_t>(PQgetlength(result_, row, column)));
}

std::int64_t PostgresResult::integer(int row, int column) const {
  if (isNull(row, column)) return 0;
  return std::strtoll(PQgetvalue(result_, row, column), nullptr, 10);
}

std::string PostgresResult::sqlState() const {
  if (result_ == nullptr) return {};
  const char* state = PQresultErrorField(result_, PG_DIAG_SQLSTATE);
  return state != nullptr ? state : "";
}

std::string PostgresResult::error() const {
  if (result_ == nullptr) return "no result";
  return PQresultErrorMessage(result_);
}

PostgresDatabase::~PostgresDatabase() { close(); }

bool PostgresDatabase::connect(const std::string& uri, std::chrono::seconds timeout) {
  close();
  uri_ = uri;
  timeout_ = timeout;
  const std::string seconds = std::to_string(timeout.count());
  // The time-out comes first so that one named in the URI itself wins.
  const char* keywords[] = {"connect_timeout", "dbname", nullptr};
  const char* values[] = {seconds.c_str(), uri.c_str(), nullptr};
  connection_ = PQconnectdbParams(keywords, values, 1);
  return connected();
}

void PostgresDatabase::close() {
  if (connection_ != nullptr) PQfinish(std::exchange(connection_, nullptr));
}

bool PostgresDatabase::connected() const {
  return connection_ != nullptr && PQstatus(connection_) == CONNECTION_OK;
}

bool PostgresDatabase::reconnect() {
  if (uri_.empty()) return false;
  return connect(std::string(uri_), timeout_);
}

PostgresResult PostgresDatabase::exec(std::string_view sql, const std::vector<PostgresParam>& params) {
  if (connection_ == nullptr) return PostgresResult();
  std::vector<const char*> values;
  values.reserve(params.size());
  for (const PostgresParam& param : params) values.push_back(param ? param->c_str() : nullptr);
  const std::string statement(sql);
  return PostgresResult(PQexecParams(connection_, statement.c_str(), static_cast<int>(values.size()), nullptr,
                                     values.data(), nullptr, nullptr, 0));
}

PostgresResult PostgresDatabase::execScript(std::string_view sql) {
  if (connection_ == nullptr) return PostgresResult();
  return PostgresResult(PQexec(connection_, std::string(sql).c_str()));
}

std::string PostgresDatabase::lastError() const {
  return connection_ != nullptr ? PQerrorMessage(connection_) : "not connected";
}

bool IsConnectionFailure(const PostgresResult& result, const PostgresDatabase& database) {
  if (result.ok()) return false;
  if (!database.connected()) return true;
  const std::string state = result.sqlState();
  // Class 08 is a connection exception; 57P01-57P03 a server that shuts down or starts up.
  return state.empty() || state.starts_with("08") || state == "57P01" || state == "57P02" || state == "57P03";
}

}  // namespace pelvaro
