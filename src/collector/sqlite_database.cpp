#include "collector/sqlite_database.h"

#include <sqlite3.h>

#include <cstdlib>
#include <utility>

#include "platform/path.h"

namespace pelvaro {
namespace {

// SQLite's progress handler: a non-zero answer interrupts the running statement.
int PastDeadline(void* runLimit) {
  const auto& limit = *static_cast<const SqliteRunLimit*>(runLimit);
  return limit.limit.count() > 0 && std::chrono::steady_clock::now() > limit.deadline ? 1 : 0;
}

// Virtual-machine steps between two looks at the clock: about a millisecond's work.
constexpr int kStepsPerCheck = 10000;

// The path with its folder resolved: SQLite's no-follow rule then holds for the database file
// and its journals only, not for a link among the folders above them (the user's own choice).
std::string WithResolvedFolder(const std::string& path) {
  const Path whole(path);
  if (whole.folder().empty()) return path;
  char* folder = realpath(whole.folder().c_str(), nullptr);
  if (folder == nullptr) return path;
  std::string resolved = JoinPath(Path(folder), whole.name()).bytes();
  std::free(folder);
  return resolved;
}

}  // namespace

SqliteDatabase::~SqliteDatabase() { close(); }

SqliteDatabase::SqliteDatabase(SqliteDatabase&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), runLimit_(std::move(other.runLimit_)) {}

SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept {
  if (this != &other) {
    close();
    db_ = std::exchange(other.db_, nullptr);
    runLimit_ = std::move(other.runLimit_);
  }
  return *this;
}

int SqliteDatabase::open(const std::string& path) {
  close();
  sqlite3* db = nullptr;
  int code = sqlite3_open_v2(
      WithResolvedFolder(path).c_str(), &db,
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW, nullptr);
  if (code == SQLITE_OK) code = sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  if (code == SQLITE_OK) code = sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  if (code != SQLITE_OK) {
    sqlite3_close(db);
    return code;
  }
  sqlite3_extended_result_codes(db, 0);
  auto runLimit = std::make_shared<SqliteRunLimit>();
  if (runLimit_) runLimit->limit = runLimit_->limit;
  runLimit_ = std::move(runLimit);
  sqlite3_progress_handler(db, kStepsPerCheck, &PastDeadline, runLimit_.get());
  db_ = db;
  return SQLITE_OK;
}

void SqliteDatabase::setStatementTimeLimit(std::chrono::milliseconds limit) {
  if (!runLimit_) runLimit_ = std::make_shared<SqliteRunLimit>();
  runLimit_->limit = limit;
}

void SqliteDatabase::close() {
  // Statements are owned by their SqliteStatement objects; close_v2 defers the close until the
  // last of them is finalized.
  if (db_ != nullptr) sqlite3_close_v2(std::exchange(db_, nullptr));
}

void SqliteDatabase::setBusyTimeout(int milliseconds) {
  if (db_ != nullptr) sqlite3_busy_timeout(db_, milliseconds);
}

int SqliteDatabase::exec(std::string_view sql) {
  if (db_ == nullptr) return SQLITE_MISUSE;
  if (runLimit_) runLimit_->arm();
  return sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, nullptr);
}

int SqliteDatabase::queryInt(std::string_view sql, int* result) {
  SqliteStatement statement;
  int code = statement.prepare(*this, sql);
  if (code != SQLITE_OK) return code;
  code = statement.step();
  *result = code == SQLITE_ROW ? static_cast<int>(statement.integer(0)) : 0;
  return code == SQLITE_ROW || code == SQLITE_DONE ? SQLITE_OK : code;
}


SqliteStatement::~SqliteStatement() { sqlite3_finalize(statement_); }

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)), runLimit_(std::move(other.runLimit_)) {}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(statement_);
    statement_ = std::exchange(other.statement_, nullptr);
    runLimit_ = std::move(other.runLimit_);
  }
  return *this;
}

int SqliteStatement::prepare(const SqliteDatabase& db, std::string_view sql) {
  sqlite3_finalize(std::exchange(statement_, nullptr));
  if (!db.isOpen()) return SQLITE_MISUSE;
  runLimit_ = db.runLimit_;
  return sqlite3_prepare_v2(db.handle(), sql.data(), static_cast<int>(sql.size()), &statement_, nullptr);
}

void SqliteStatement::bind(int index, std::string_view text) {
  sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void SqliteStatement::bind(int index, std::int64_t value) { sqlite3_bind_int64(statement_, index, value); }

void SqliteStatement::bindNamed(std::string_view name, std::string_view text) {
  if (const int index = sqlite3_bind_parameter_index(statement_, std::string(name).c_str()); index > 0)
    bind(index, text);
}

void SqliteStatement::bindNamed(std::string_view name, std::int64_t value) {
  if (const int index = sqlite3_bind_parameter_index(statement_, std::string(name).c_str()); index > 0)
    bind(index, value);
}

int SqliteStatement::step() {
  if (statement_ == nullptr) return SQLITE_MISUSE;
  if (runLimit_) runLimit_->arm();
  return sqlite3_step(statement_);
}

void SqliteStatement::reset() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

std::int64_t SqliteStatement::integer(int column) const { return sqlite3_column_int64(statement_, column); }

std::string SqliteStatement::text(int column) const {
  const auto* bytes = sqlite3_column_text(statement_, column);
  if (bytes == nullptr) return {};
  return std::string(reinterpret_cast<const char*>(bytes),
                     static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
}

bool IsDamagedResult(int code) {
  const int primary = code & 0xff;
  return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

bool ForEachRow(const SqliteDatabase& db, std::string_view sql, const std::vector<std::string>& parameters,
                const std::function<void(const SqliteStatement&)>& row, int* result) {
  SqliteStatement statement;
  int code = statement.prepare(db, sql);
  if (code == SQLITE_OK) {
    for (std::size_t i = 0; i < parameters.size(); ++i)
      statement.bind(static_cast<int>(i) + 1, parameters[i]);
    while ((code = statement.step()) == SQLITE_ROW) row(statement);
  }
  if (result != nullptr) *result = code;
  return code == SQLITE_DONE;
}

}  // namespace pelvaro
