#pragma once
// The catalogue of collected videos and of failed downloads: one SQLite file in the data
// folder, shared by every copy of the program that uses the folder. It adds to the history
// markers and never overrides them: a row is written only after a video's marker, a failure
// only after the failure. A catalogue that cannot be used never stops the crawl: its
// operations then do nothing (reads find nothing), and the trouble is reported once. A write
// that fails for now (another program's long lock, a full or read-only disk) is owed: kept
// and written before the next write that succeeds, at the latest when the run ends. A file
// deleted under the running program is noticed at the next write and made again from what
// the program still has open.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "collector/catalogue_backend.h"
#include "collector/sqlite_database.h"
#include "platform/path.h"
#include "platform/text.h"
#include "web/download_failure.h"

namespace pelvaro {

// The data folder + "/catalogue.db".
Path CataloguePath();

// The local time now (or at `when`, seconds since the epoch) as ISO 8601 with its offset,
// "2026-12-09T15:10:08+08:00".
std::string LocalIsoTime();
std::string LocalIsoTime(std::int64_t when);

class Catalogue final : public CatalogueBackend {
 public:
  // The longest a statement waits for another program copy's lock.
  static constexpr int kBusyTimeoutMs = 2000;
  // The longest a statement may run: a file with a trigger or view that never ends (anyone can
  // write the file) must not hold up a download's end, or the program's.
  static constexpr std::chrono::milliseconds kStatementLimit{5000};
  // The most writes kept owed; beyond it the oldest is dropped (its video stays marked, and
  // its claim's record gives the row at the next start).
  static constexpr std::size_t kMaxOwed = 1000;
  // Opens the file (a program path), creating it and its folder when missing. A file that is no
  // database or a damaged one is renamed to path + ".broken-" + time and a new one is started.
  explicit Catalogue(Path path, Notice notice = {});
  // Writes what is still owed, waiting for another copy's lock as long as a statement does.
  ~Catalogue();
  Catalogue(const Catalogue&) = delete;
  Catalogue& operator=(const Catalogue&) = delete;

  // Where notices go from now on.
  void setNotice(Notice notice) override;

  // False from the start when the file cannot be used, and from the first statement that had
  // to be interrupted on: a file whose triggers or views never end is not worth another wait.
  bool usable() const override { return usable_.load(); }
  const Path& path() const { return path_; }

  // The row of a complete, marked video, in one transaction that also forgets its failures.
  // False when it is owed (or the catalogue is unusable); `stored` runs once it is written.
  bool recordVideo(const CatalogueVideo& video, Stored stored = {}) override;
  // Rows for videos the catalogue lacks (existing rows are kept as they are), in one
  // transaction; the number added, or -1 when the write failed (nothing is owed then).
  int addMissingVideos(const std::vector<CatalogueVideo>& videos) override;
  // One more failed attempt for the docid, with its failure; owed like a row.
  bool recordFailure(std::string_view docid, const DownloadFailure& failure) override;
  // Writes what is owed, waiting up to `patience` for another copy's lock; true when nothing
  // is owed any more.
  bool flushOwed(std::chrono::milliseconds patience) override;
  std::size_t owedCount() override;

  // The row of a docid (as written; an owed one is not there yet).
  std::optional<CatalogueVideo> video(std::string_view docid) override;
  // Every docid with a row.
  std::set<std::string> videoDocids() override;
  // The failed attempts counted for the docid.
  int attempts(std::string_view docid) override;
  // Forgets every failure, so that every video is tried again.
  bool clearFailures() override;
  bool readCells(std::string_view sql, const std::function<void(const CatalogueCells&)>& row) override;

  // Runs a query on the reading connection and hands each row to `row`, which must not call
  // back into the catalogue. False when the query failed (nothing or only some rows handed over).
  bool read(std::string_view sql, const std::function<void(const SqliteStatement&)>& row);
  // The same with text parameters bound in order (never spliced into the statement).
  bool read(std::string_view sql, const std::vector<std::string>& parameters,
            const std::function<void(const SqliteStatement&)>& row);

 private:
  void open();
  int openConnections();
  void closeConnections();
  // Renames the damaged file aside; false when it cannot be moved.
  bool setAside();
  void reportOnce(std::string_view utf8What, int code);
  void notify(const Text& line);
  void wrote(bool ok, int code);
  // Gives up on the file for this run when a statement had to be interrupted.
  void noteInterrupted(int code);
  // Under writeMutex_: the file is still the one opened, or is made again.
  void followFileLocked();
  // Under writeMutex_: writes everything owed and `next` (when given) in one transaction; on
  // failure `next` joins the owed. Returns the result code and hands out the Stored calls due.
  int writeLocked(std::optional<Owed> next, std::vector<Stored>& due);
  // One row or failure written now, or owed when it cannot be; a failure is stamped with the
  // time its turn came.
  bool record(Owed item);
  int writeVideoLocked(const CatalogueVideo& video);
  int writeFailureLocked(const Owed& failure);
  void owe(Owed item);

  const Path path_;
  std::mutex noticeMutex_;
  Notice notice_;
  bool reported_ = false;  // under noticeMutex_; cleared by the next success
  std::atomic<bool> usable_{false};
  std::optional<std::pair<std::uint64_t, std::uint64_t>> fileId_;  // under writeMutex_
  std::deque<Owed> owed_;                                          // under writeMutex_

  // Writes and reads each have their own connection, so that a read on the crawl's thread never
  // waits behind a write that waits for another copy's lock.
  std::mutex writeMutex_;
  SqliteDatabase writer_;
  SqliteStatement insertVideo_;
  SqliteStatement deleteFailure_;
  SqliteStatement addFailure_;
  std::mutex readMutex_;
  SqliteDatabase reader_;
  SqliteStatement readAttempts_;
  SqliteStatement readVideo_;
};

}  // namespace pelvaro
