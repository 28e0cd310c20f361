#include "collector/catalogue.h"

#include <sqlite3.h>

#include <ctime>
#include <string>
#include <utility>

#include "collector/catalogue_schema.h"
#include "collector/log_texts.h"
#include "platform/files.h"
#include "platform/hosts.h"

namespace pelvaro {

namespace ct = collector_text;

namespace {

std::string FormatLocalTime(const char* format) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[64];
  const std::size_t length = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, length);
}

// The parent folder of a program path.
Text FolderOf(const Text& path) {
  const auto slash = path.rfind('/');
  return slash == Text::npos ? Text() : path.substr(0, slash);
}

}  // namespace

Text CataloguePath() { return JoinPath(JoinPath(Utf8ToGbk(RunDir()), "data"), "catalogue.db"); }

std::string LocalIsoTime() {
  std::string time = FormatLocalTime("%Y-%m-%dT%H:%M:%S%z");
  // strftime gives the offset as +0800; ISO 8601's extended form wants +08:00.
  if (time.size() >= 5) time.insert(time.size() - 2, ":");
  return time;
}

Catalogue::Catalogue(Text path, Notice notice) : path_(std::move(path)), notice_(std::move(notice)) {
  open();
}

void Catalogue::setNotice(Notice notice) {
  std::lock_guard lock(noticeMutex_);
  notice_ = std::move(notice);
}

void Catalogue::open() {
  const Text folder = FolderOf(path_);
  if (!folder.empty()) CreateFolders(folder);
  int code = openConnections();
  if (IsDamagedResult(code) && setAside()) code = openConnections();
  usable_ = code == SQLITE_OK;
  if (!usable_) reportOnce(ct::kCatalogueUnusable, code);
}

int Catalogue::openConnections() {
  const std::string native = NativePath(path_);
  int code = writer_.open(native);
  if (code != SQLITE_OK) return code;
  writer_.setBusyTimeout(kBusyTimeoutMs);
  // WAL lets the other program copy read while this one writes; NORMAL syncs at checkpoints
  // only, which keeps a row well under a millisecond and can lose at most the last rows on a
  // power cut, never the file (the markers stay the history).
  code = writer_.exec("PRAGMA journal_mode = WAL");
  if (code == SQLITE_OK) code = writer_.exec("PRAGMA synchronous = NORMAL");
  if (code == SQLITE_OK) code = MigrateCatalogue(writer_);
  if (code == SQLITE_OK) {
    int firstProblem = 0;
    // quick_check answers "ok" in a text column; a damaged page gives another text or an error.
    SqliteStatement check;
    code = check.prepare(writer_, "PRAGMA quick_check(1)");
    if (code == SQLITE_OK) {
      code = check.step();
      if (code == SQLITE_ROW) {
        firstProblem = check.text(0) == "ok" ? 0 : SQLITE_CORRUPT;
        code = SQLITE_OK;
      }
    }
    if (code == SQLITE_OK) code = firstProblem;
  }
  if (code == SQLITE_OK) {
    code = insertVideo_.prepare(
        writer_,
        "INSERT OR REPLACE INTO videos (docid, title, category, published, duration_s, width,"
        " height, size_bytes, url, path, taken_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  }
  if (code == SQLITE_OK) code = deleteFailure_.prepare(writer_, "DELETE FROM failures WHERE docid = ?");
  if (code == SQLITE_OK) {
    code =
        addFailure_.prepare(writer_,
                            "INSERT INTO failures (docid, attempts, last_reason, last_at) VALUES (?, 1, ?, ?)"
                            " ON CONFLICT (docid) DO UPDATE SET attempts = attempts + 1,"
                            " last_reason = excluded.last_reason, last_at = excluded.last_at");
  }
  if (code == SQLITE_OK) code = reader_.open(native);
  if (code == SQLITE_OK) {
    reader_.setBusyTimeout(kBusyTimeoutMs);
    code = readAttempts_.prepare(reader_, "SELECT attempts FROM failures WHERE docid = ?");
  }
  if (code != SQLITE_OK) {
    insertVideo_ = {};
    deleteFailure_ = {};
    addFailure_ = {};
    readAttempts_ = {};
    writer_.close();
    reader_.close();
  }
  return code;
}

bool Catalogue::setAside() {
  const Text aside = path_ + ".broken-" + FormatLocalTime("%Y%m%d-%H%M%S");
  if (!RenameNoReplace(path_, aside)) return false;
  // The journal files belong to the damaged file: the WAL goes with it, under the name SQLite
  // would look for; the shared-memory index is rebuilt from the WAL anyway.
  RenameNoReplace(path_ + "-wal", aside + "-wal");
  RemoveFile(path_ + "-shm");
  Notice notice;
  {
    std::lock_guard lock(noticeMutex_);
    notice = notice_;
  }
  if (notice) notice(Gbk(ct::kCatalogueSetAside) + aside.substr(aside.rfind('/') + 1));
  return true;
}

void Catalogue::reportOnce(std::string_view utf8What, int code) {
  Notice notice;
  {
    std::lock_guard lock(noticeMutex_);
    if (reported_) return;
    reported_ = true;
    notice = notice_;
  }
  // Called without a lock held: the notice may wait for the window's thread.
  if (notice) notice(Gbk(utf8What) + Utf8ToGbk(sqlite3_errstr(code)));
}

void Catalogue::wrote(bool ok, int code) {
  if (ok) {
    std::lock_guard lock(noticeMutex_);
    reported_ = false;
  } else {
    reportOnce(ct::kCatalogueWriteFailed, code);
  }
}

bool Catalogue::recordVideo(const CatalogueVideo& video) {
  if (!usable_) return false;
  std::unique_lock lock(writeMutex_);
  int code = writer_.exec("BEGIN IMMEDIATE");
  if (code == SQLITE_OK) {
    insertVideo_.bind(1, video.docid);
    insertVideo_.bind(2, video.title);
    insertVideo_.bind(3, video.category);
    insertVideo_.bind(4, video.published);
    insertVideo_.bind(5, video.durationS);
    insertVideo_.bind(6, video.width);
    insertVideo_.bind(7, video.height);
    insertVideo_.bind(8, video.sizeBytes);
    insertVideo_.bind(9, video.url);
    insertVideo_.bind(10, video.path);
    insertVideo_.bind(11, video.takenAt);
    code = insertVideo_.step() == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(writer_.handle());
    insertVideo_.reset();
    if (code == SQLITE_OK) {
      deleteFailure_.bind(1, video.docid);
      code = deleteFailure_.step() == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(writer_.handle());
      deleteFailure_.reset();
    }
    if (code == SQLITE_OK) code = writer_.exec("COMMIT");
    if (code != SQLITE_OK) writer_.exec("ROLLBACK");
  }
  lock.unlock();
  wrote(code == SQLITE_OK, code);
  return code == SQLITE_OK;
}

bool Catalogue::recordFailure(std::string_view docid, std::string_view reason) {
  if (!usable_) return false;
  std::unique_lock lock(writeMutex_);
  addFailure_.bind(1, docid);
  addFailure_.bind(2, reason);
  addFailure_.bind(3, LocalIsoTime());
  const int code = addFailure_.step() == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(writer_.handle());
  addFailure_.reset();
  lock.unlock();
  wrote(code == SQLITE_OK, code);
  return code == SQLITE_OK;
}

int Catalogue::attempts(std::string_view docid) {
  if (!usable_) return 0;
  std::lock_guard lock(readMutex_);
  readAttempts_.bind(1, docid);
  const int attempts = readAttempts_.step() == SQLITE_ROW ? static_cast<int>(readAttempts_.integer(0)) : 0;
  readAttempts_.reset();
  return attempts;
}

bool Catalogue::clearFailures() {
  if (!usable_) return false;
  std::unique_lock lock(writeMutex_);
  const int code = writer_.exec("DELETE FROM failures");
  lock.unlock();
  wrote(code == SQLITE_OK, code);
  return code == SQLITE_OK;
}

bool Catalogue::read(std::string_view sql, const std::function<void(const SqliteStatement&)>& row) {
  return read(sql, {}, row);
}

bool Catalogue::read(std::string_view sql, const std::vector<std::string>& parameters,
                     const std::function<void(const SqliteStatement&)>& row) {
  if (!usable_) return false;
  std::lock_guard lock(readMutex_);
  return ForEachRow(reader_, sql, parameters, row);
}

}  // namespace pelvaro
