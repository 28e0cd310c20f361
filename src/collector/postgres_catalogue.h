#pragma once
// The catalogue a fleet of collectors shares on a PostgreSQL server: the videos and failures
// of every collector, and claims on docids, so that no two collectors take one video.
//
// A claim is one statement made before the first request for a video's file; it holds while
// this collector renews it (a thread of its own does, while the download runs) and lapses a
// lease after the last renewal, so that the videos of a collector that died go to the others.
// The claim of a taken video stays, marked taken, and tells every later collector so.
//
// The server going away never stops the crawl: the trouble is noted once, claims are not made
// (the local history alone decides), reads find nothing, and writes are owed; a thread tries to
// connect again and writes what is owed as soon as the server answers.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "collector/catalogue_backend.h"
#include "collector/postgres_database.h"

namespace pelvaro {

class PostgresCatalogue final : public CatalogueBackend {
 public:
  // How long a claim holds without renewal; tests shorten it with PELVARO_TEST_CLAIM_LEASE_MS.
  static constexpr std::chrono::milliseconds kDefaultLease{std::chrono::minutes(3)};
  // The longest a statement may run before the server cancels it.
  static constexpr std::chrono::milliseconds kStatementLimit{5000};
  // The most writes kept owed; beyond it the oldest is dropped (its video stays marked, and
  // its local claim's record gives the row at the next start).
  static constexpr std::size_t kMaxOwed = 1000;

  // Connects now (a server that does not answer is tried again in the background).
  explicit PostgresCatalogue(std::string uri, Notice notice = {});
  // Writes what is still owed when the server answers, and gives back the claims still held.
  ~PostgresCatalogue() override;
  PostgresCatalogue(const PostgresCatalogue&) = delete;
  PostgresCatalogue& operator=(const PostgresCatalogue&) = delete;

  void setNotice(Notice notice) override;
  // Always: what cannot be written now is owed.
  bool usable() const override { return true; }
  bool recordVideo(const CatalogueVideo& video, Stored stored = {}) override;
  int addMissingVideos(const std::vector<CatalogueVideo>& videos) override;
  bool recordFailure(std::string_view docid, const DownloadFailure& failure) override;
  bool flushOwed(std::chrono::milliseconds patience) override;
  std::size_t owedCount() override;
  std::optional<CatalogueVideo> video(std::string_view docid) override;
  std::set<std::string> videoDocids() override;
  int attempts(std::string_view docid) override;
  bool clearFailures() override;
  bool readCells(std::string_view sql, const std::function<void(const CatalogueCells&)>& row) override;
  FleetClaim claim(std::string_view docid) override;
  void release(std::string_view docid) override;

  // Whether the server answered the last statement.
  bool connected();
  // This collector's name in the claims (host, process and a random part).
  const std::string& holder() const { return holder_; }
  std::chrono::milliseconds lease() const { return lease_; }
  // How long each claim statement took, in the order they were made.
  std::vector<std::chrono::microseconds> claimTimes();

 private:
  // A new connection, set up and migrated; null when the server does not answer.
  std::unique_ptr<PostgresDatabase> connectNow(std::string* why);
  // Under mutex_: runs a statement; a lost connection is noted (once) and the catalogue is down.
  PostgresResult execLocked(std::string_view sql, const std::vector<PostgresParam>& params = {});
  // Under mutex_: a connection made elsewhere takes over, and what is owed is written.
  void comeBackLocked(std::unique_ptr<PostgresDatabase> db, std::vector<Stored>& due);
  // Under mutex_: writes the owed items in order while the server takes them; true when none
  // is left.
  bool writeOwedLocked(std::vector<Stored>& due);
  void oweLocked(Owed item);
  void notify(std::string_view what, const std::string& detail);
  // The background thread: reconnects while the server is away, renews the held claims.
  void keep(std::stop_token stop);

  const std::string uri_;
  const std::string holder_;
  const std::chrono::milliseconds lease_;

  std::mutex noticeMutex_;
  Notice notice_;

  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::unique_ptr<PostgresDatabase> db_;  // null or down: the server is away
  bool up_ = false;
  bool awayReported_ = false;
  std::deque<Owed> owed_;
  std::set<std::string> held_;  // claims granted and not yet recorded or released
  std::vector<std::chrono::microseconds> claimTimes_;

  std::jthread keeper_;  // last: it stops and joins before the members it uses go
};

}  // namespace pelvaro
