#pragma once
// The catalogue of collected videos and of failed downloads: one SQLite file in the data
// folder, shared by every copy of the program that uses the folder. It adds to the history
// markers and never overrides them: a row is written only after a video's marker, a failure
// only after the failure. A catalogue that cannot be used never stops the crawl: its
// operations then do nothing (reads find nothing), and the trouble is reported once.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "collector/sqlite_database.h"
#include "platform/text.h"

namespace pelvaro {

// One row of the videos table; texts are UTF-8.
struct CatalogueVideo {
  std::string docid;
  std::string title;
  std::string category;
  std::string published;  // as the answer gave it
  std::int64_t durationS = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::int64_t sizeBytes = 0;
  std::string url;
  std::string path;     // the file's full path
  std::string takenAt;  // local time, ISO 8601
};

// The data folder + "/catalogue.db".
Text CataloguePath();

// The local time now as ISO 8601 with its offset, "2026-12-09T15:10:08+08:00".
std::string LocalIsoTime();

class Catalogue {
 public:
  // After this many failed downloads a video is no longer tried.
  static constexpr int kGiveUpAttempts = 3;
  // The longest a statement waits for another program copy's lock.
  static constexpr int kBusyTimeoutMs = 2000;

  // A line for the log (GBK).
  using Notice = std::function<void(const Text&)>;

  // Opens the file (a program path), creating it and its folder when missing. A file that is no
  // database or a damaged one is renamed to path + ".broken-" + time and a new one is started.
  explicit Catalogue(Text path, Notice notice = {});
  Catalogue(const Catalogue&) = delete;
  Catalogue& operator=(const Catalogue&) = delete;

  // Where notices go from now on.
  void setNotice(Notice notice);

  bool usable() const { return usable_; }
  const Text& path() const { return path_; }

  // The row of a complete, marked video, in one transaction that also forgets its failures.
  bool recordVideo(const CatalogueVideo& video);
  // One more failed attempt for the docid, with its reason (UTF-8).
  bool recordFailure(std::string_view docid, std::string_view reason);
  // The failed attempts counted for the docid.
  int attempts(std::string_view docid);
  bool givenUp(std::string_view docid) { return attempts(docid) >= kGiveUpAttempts; }
  // Forgets every failure, so that every video is tried again.
  bool clearFailures();

  // Runs a query on the reading connection and hands each row to `row`, which must not call
  // back into the catalogue. False when the query failed (nothing or only some rows handed over).
  bool read(std::string_view sql, const std::function<void(const SqliteStatement&)>& row);
  // The same with text parameters bound in order (never spliced into the statement).
  bool read(std::string_view sql, const std::vector<std::string>& parameters,
            const std::function<void(const SqliteStatement&)>& row);

 private:
  void open();
  int openConnections();
  // Renames the damaged file aside; false when it cannot be moved.
  bool setAside();
  void reportOnce(std::string_view utf8What, int code);
  void wrote(bool ok, int code);

  const Text path_;
  std::mutex noticeMutex_;
  Notice notice_;
  bool reported_ = false;  // under noticeMutex_; cleared by the next success
  bool usable_ = false;

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
};

}  // namespace pelvaro
