#include "collector/catalogue.h"

#include <sqlite3.h>

#include <ctime>
#include <string>
#include <utility>

#include "collector/catalogue_columns.h"
#include "collector/catalogue_schema.h"
#include "collector/log_texts.h"
#include "platform/data_folder.h"
#include "platform/files.h"

namespace pelvaro {

namespace ct = collector_text;

namespace {

std::string FormatLocalTime(const char* format, std::time_t when = std::time(nullptr)) {
  std::tm local{};
  localtime_r(&when, &local);
  char buffer[64];
  const std::size_t length = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, length);
}

}  // namespace

Path CataloguePath() { return JoinPath(DataFolder(), "catalogue.db"); }

std::string LocalIsoTime() { return LocalIsoTime(std::time(nullptr)); }

std::string LocalIsoTime(std::int64_t when) {
  std::string time = FormatLocalTime("%Y-%m-%dT%H:%M:%S%z", static_cast<std::time_t>(when));
  // strftime gives the offset as +0800; ISO 8601's extended form wants +08:00.
  if (time.size() >= 5) time.insert(time.size() - 2, ":");
  return time;
}

Catalogue::Catalogue(Path path, Notice notice) : path_(std::move(path)), notice_(std::move(notice)) {
  open();
}

Catalogue::~Catalogue() { flushOwed(std::chrono::milliseconds(kBusyTimeoutMs)); }

void Catalogue::setNotice(Notice notice) {
  std::lock_guard lock(noticeMutex_);
  notice_ = std::move(notice);
}

void Catalogue::open() {
  const Path folder = path_.folder();
  if (!folder.empty()) CreateFolders(folder);
  int code = openConnections();
  if (IsDamagedResult(code) && setAside()) code = openConnections();
  usable_ = code == SQLITE_OK;
  if (!usable_) reportOnce(ct::kCatalogueUnusable, code);
  fileId_ = FileIdentity(path_);
}

int Catalogue::openConnections() {
  const std::string& native = path_.bytes();
  int code = writer_.open(native);
  if (code != SQLITE_OK) return code;
  writer_.setBusyTimeout(kBusyTimeoutMs);
  writer_.setStatementTimeLimit(kStatementLimit);
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
    code = insertVideo_.prepare(writer_, "INSERT OR REPLACE INTO videos (" + VideoColumnList() +
                                             ") VALUES (" + VideoColumnList(":") + ")");
  }
  if (code == SQLITE_OK) code = deleteFailure_.prepare(writer_, "DELETE FROM failures WHERE docid = ?");
  if (code == SQLITE_OK) {
    code = addFailure_.prepare(
        writer_,
        "INSERT INTO failures (docid, attempts, last_reason, last_at, last_kind, last_detail)"
        " VALUES (:docid, 1, :last_reason, :last_at, :last_kind, :last_detail)"
        " ON CONFLICT (docid) DO UPDATE SET attempts = attempts + 1,"
        " last_reason = excluded.last_reason, last_at = excluded.last_at,"
        " last_kind = excluded.last_kind, last_detail = excluded.last_detail");
  }
  if (code == SQLITE_OK) code = reader_.open(native);
  if (code == SQLITE_OK) {
    reader_.setBusyTimeout(kBusyTimeoutMs);
    reader_.setStatementTimeLimit(kStatementLimit);
    code = readAttempts_.prepare(reader_, "SELECT attempts FROM failures WHERE docid = ?");
  }
  if (code == SQLITE_OK) {
    code = readVideo_.prepare(reader_, "SELECT path, size_bytes FROM videos WHERE docid = ?");
  }
  if (code != SQLITE_OK) closeConnections();
  return code;
}

void Catalogue::closeConnections() {
  insertVideo_ = {};
  deleteFailure_ = {};
  addFailure_ = {};
  readAttempts_ = {};
  readVideo_ = {};
  writer_.close();
  reader_.close();
}

bool Catalogue::setAside() {
  const Path aside = path_ + ".broken-" + FormatLocalTime("%Y%m%d-%H%M%S");
  if (!RenameNoReplace(path_, aside)) return false;
  // The journal files belong to the damaged file: the WAL goes with it, under the name SQLite
  // would look for; the shared-memory index is rebuilt from the WAL anyway.
  RenameNoReplace(path_ + "-wal", aside + "-wal");
  RemoveFile(path_ + "-shm");
  notify(Gbk(ct::kCatalogueSetAside) + PathText(aside.name()));
  return true;
}

void Catalogue::notify(const Text& line) {
  Notice notice;
  {
    std::lock_guard lock(noticeMutex_);
    notice = notice_;
  }
  if (notice) notice(line);
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

void Catalogue::noteInterrupted(int code) {
  if ((code & 0xff) == SQLITE_INTERRUPT) usable_ = false;
}

void Catalogue::wrote(bool ok, int code) {
  noteInterrupted(code);
  if (ok) {
    std::lock_guard lock(noticeMutex_);
    reported_ = false;
  } else {
    reportOnce(ct::kCatalogueWriteFailed, code);
  }
}

void Catalogue::followFileLocked() {
  const auto now = FileIdentity(path_);
  if (now && now == fileId_) return;
  if (now) {
    // Another copy put a new file in its place (a damaged one set aside): use that one.
    std::lock_guard readLock(readMutex_);
    closeConnections();
    usable_ = openConnections() == SQLITE_OK;
    fileId_ = FileIdentity(path_);
    return;
  }
  // Deleted under us: what the open connection still sees is copied into a new file, which
  // then takes the old name (unless another copy was quicker).
  notify(Gbk(ct::kCatalogueRecreated) + PathText(path_.name()));
  const Path fresh = path_ + ".new-" + FormatLocalTime("%Y%m%d-%H%M%S");
  {
    SqliteDatabase copy;
    if (copy.open(fresh.bytes()) == SQLITE_OK) {
      if (sqlite3_backup* backup = sqlite3_backup_init(copy.handle(), "main", writer_.handle(), "main")) {
        sqlite3_backup_step(backup, -1);
        sqlite3_backup_finish(backup);
      }
    }
  }
  std::lock_guard readLock(readMutex_);
  closeConnections();
  // The journal files belonged to the deleted file.
  RemoveFile(path_ + "-wal");
  RemoveFile(path_ + "-shm");
  if (!RenameNoReplace(fresh, path_)) RemoveFile(fresh);
  RemoveFile(fresh + "-journal");
  usable_ = openConnections() == SQLITE_OK;
  fileId_ = FileIdentity(path_);
}

int Catalogue::writeVideoLocked(const CatalogueVideo& video) {
  for (const VideoColumn& column : kVideoColumns) {
    const std::string name = ":" + std::string(column.name);
    if (column.text != nullptr) {
      insertVideo_.bindNamed(name, video.*column.text);
    } else {
      insertVideo_.bindNamed(name, video.*column.number);
    }
  }
  int code = insertVideo_.step() == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(writer_.handle());
  insertVideo_.reset();
  if (code == SQLITE_OK) {
    deleteFailure_.bind(1, video.docid);
    code = deleteFailure_.step() == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(writer_.handle());
    deleteFailure_.reset();
  }
  return code;
}

int Catalogue::writeFailureLocked(const Owed& failure) {
  addFailure_.bindNamed(":docid", failure.docid);
  addFailure_.bindNamed(":last_reason", GbkToUtf8(FailureText(failure.failure)));
  addFailure_.bindNamed(":last_at", failure.at);
  addFailure_.bindNamed(":last_kind", FailureKindName(failure.failure.kind));
  addFailure_.bindNamed(":last_detail", static_cast<std::int64_t>(failure.failure.detail));
  const int code = addFailure_.step() == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(writer_.handle());
  addFailure_.reset();
  return code;
}

void Catalogue::owe(Owed item) {
  if (owed_.size() >= kMaxOwed) owed_.pop_front();
  owed_.push_back(std::move(item));
}

int Catalogue::writeLocked(std::optional<Owed> next, std::vector<Stored>& due) {
  followFileLocked();
  int code = usable_ ? writer_.exec("BEGIN IMMEDIATE") : SQLITE_CANTOPEN;
  if (code == SQLITE_OK) {
    for (const Owed& item : owed_) {
      code = item.isVideo ? writeVideoLocked(item.video) : writeFailureLocked(item);
      if (code != SQLITE_OK) break;
    }
  }
  if (code == SQLITE_OK && next)
    code = next->isVideo ? writeVideoLocked(next->video) : writeFailureLocked(*next);
  if (code == SQLITE_OK) code = writer_.exec("COMMIT");
  if (code != SQLITE_OK) {
    if (usable_) writer_.exec("ROLLBACK");
    if (next) owe(std::move(*next));
    return code;
  }
  for (Owed& item : owed_) {
    if (item.stored) due.push_back(std::move(item.stored));
  }
  owed_.clear();
  if (next && next->stored) due.push_back(std::move(next->stored));
  return code;
}

bool Catalogue::record(Owed item) {
  if (!usable_) return false;
  std::vector<Stored> due;
  std::unique_lock lock(writeMutex_);
  // A write that waited here behind an interrupted one finds the file given up on.
  if (!usable_) return false;
  if (!item.isVideo) item.at = LocalIsoTime();
  const int code = writeLocked(std::move(item), due);
  lock.unlock();
  for (const Stored& call : due) call();
  wrote(code == SQLITE_OK, code);
  return code == SQLITE_OK;
}

bool Catalogue::recordVideo(const CatalogueVideo& video, Stored stored) {
  Owed item;
  item.video = video;
  item.stored = std::move(stored);
  return record(std::move(item));
}

int Catalogue::addMissingVideos(const std::vector<CatalogueVideo>& videos) {
  if (!usable_ || videos.empty()) return usable_ ? 0 : -1;
  std::lock_guard lock(writeMutex_);
  followFileLocked();
  SqliteStatement has;
  int code = has.prepare(writer_, "SELECT 1 FROM videos WHERE docid = ?");
  if (code == SQLITE_OK) code = writer_.exec("BEGIN IMMEDIATE");
  int added = 0;
  for (std::size_t i = 0; code == SQLITE_OK && i < videos.size(); ++i) {
    has.bind(1, videos[i].docid);
    const int found = has.step();
    has.reset();
    if (found == SQLITE_ROW) continue;
    code = found == SQLITE_DONE ? writeVideoLocked(videos[i]) : found;
    added += code == SQLITE_OK;
  }
  if (code == SQLITE_OK) code = writer_.exec("COMMIT");
  if (code != SQLITE_OK) writer_.exec("ROLLBACK");
  return code == SQLITE_OK ? added : -1;
}

bool Catalogue::recordFailure(std::string_view docid, const DownloadFailure& failure) {
  Owed item;
  item.isVideo = false;
  item.docid = docid;
  item.failure = failure;
  return record(std::move(item));
}

bool Catalogue::flushOwed(std::chrono::milliseconds patience) {
  std::vector<Stored> due;
  std::unique_lock lock(writeMutex_);
  if (owed_.empty()) return true;
  if (!usable_) return false;
  writer_.setBusyTimeout(static_cast<int>(patience.count()));
  const int code = writeLocked(std::nullopt, due);
  writer_.setBusyTimeout(kBusyTimeoutMs);
  const bool done = owed_.empty();
  lock.unlock();
  for (const Stored& call : due) call();
  wrote(code == SQLITE_OK, code);
  return done;
}

std::size_t Catalogue::owedCount() {
  std::lock_guard lock(writeMutex_);
  return owed_.size();
}

std::optional<CatalogueVideo> Catalogue::video(std::string_view docid) {
  if (!usable_) return std::nullopt;
  std::lock_guard lock(readMutex_);
  readVideo_.bind(1, docid);
  std::optional<CatalogueVideo> found;
  if (readVideo_.step() == SQLITE_ROW) {
    found.emplace();
    found->docid = docid;
    found->path = readVideo_.text(0);
    found->sizeBytes = readVideo_.integer(1);
  }
  readVideo_.reset();
  return found;
}

std::set<std::string> Catalogue::videoDocids() {
  std::set<std::string> docids;
  read("SELECT docid FROM videos", [&docids](const SqliteStatement& row) { docids.insert(row.text(0)); });
  return docids;
}

int Catalogue::attempts(std::string_view docid) {
  if (!usable_) return 0;
  std::lock_guard lock(readMutex_);
  if (!usable_) return 0;
  readAttempts_.bind(1, docid);
  const int code = readAttempts_.step();
  const int attempts = code == SQLITE_ROW ? static_cast<int>(readAttempts_.integer(0)) : 0;
  readAttempts_.reset();
  noteInterrupted(code);
  return attempts;
}

bool Catalogue::clearFailures() {
  if (!usable_) return false;
  std::unique_lock lock(writeMutex_);
  if (!usable_) return false;
  followFileLocked();
  const int code = writer_.exec("DELETE FROM failures");
  lock.unlock();
  wrote(code == SQLITE_OK, code);
  return code == SQLITE_OK;
}

bool Catalogue::readCells(std::string_view sql, const std::function<void(const CatalogueCells&)>& row) {
  struct Cells final : CatalogueCells {
    explicit Cells(const SqliteStatement& statement) : statement(statement) {}
    std::string text(int column) const override { return statement.text(column); }
    std::int64_t integer(int column) const override { return statement.integer(column); }
    const SqliteStatement& statement;
  };
  return read(sql, [&row](const SqliteStatement& statement) { row(Cells(statement)); });
}

bool Catalogue::read(std::string_view sql, const std::function<void(const SqliteStatement&)>& row) {
  return read(sql, {}, row);
}

bool Catalogue::read(std::string_view sql, const std::vector<std::string>& parameters,
                     const std::function<void(const SqliteStatement&)>& row) {
  if (!usable_) return false;
  std::lock_guard lock(readMutex_);
  if (!usable_) return false;
  int code = SQLITE_OK;
  const bool ok = ForEachRow(reader_, sql, parameters, row, &code);
  noteInterrupted(code);
  return ok;
}

}  // namespace pelvaro
