#include "collector/postgres_catalogue.h"

#include <unistd.h>

#include <cstdlib>
#include <random>
#include <utility>

#include "collector/catalogue.h"
#include "collector/catalogue_columns.h"
#include "collector/log_texts.h"
#include "collector/postgres_catalogue_schema.h"

namespace pelvaro {

namespace ct = collector_text;

namespace {

constexpr std::chrono::seconds kConnectTimeout{5};
// The longest pause between two attempts to reach a server that went away.
constexpr std::chrono::milliseconds kLongestReconnectPause{5000};

std::chrono::milliseconds LeaseFromEnvironment() {
  const char* text = std::getenv("PELVARO_TEST_CLAIM_LEASE_MS");
  if (text == nullptr || *text == '\0') return PostgresCatalogue::kDefaultLease;
  char* end = nullptr;
  const long long ms = std::strtoll(text, &end, 10);
  return end != nullptr && *end == '\0' && ms > 0 ? std::chrono::milliseconds(ms)
                                                  : PostgresCatalogue::kDefaultLease;
}

std::string NewHolder() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  std::random_device random;
  char suffix[9];
  std::snprintf(suffix, sizeof suffix, "%08x", random());
  return std::string(host) + "/" + std::to_string(getpid()) + "/" + suffix;
}

std::string Milliseconds(std::chrono::milliseconds ms) { return std::to_string(ms.count()); }

// The row's values in the order of kVideoColumns ($1 to $11), then this collector ($12).
std::vector<PostgresParam> VideoParams(const CatalogueVideo& video, const std::string& holder) {
  std::vector<PostgresParam> params;
  for (const VideoColumn& column : kVideoColumns) {
    if (column.text != nullptr) {
      const std::string& text = video.*column.text;
      // A row made from a marker alone knows no file.
      params.push_back(text.empty() && column.name == "path" ? PostgresParam() : PostgresParam(text));
    } else {
      params.push_back(std::to_string(video.*column.number));
    }
  }
  params.push_back(holder);
  return params;
}

// "INSERT INTO videos (...) VALUES ($1, ...)" and, with `replace`, every column but the docid
// taken from the new row on a conflict; else a row that exists is kept.
std::string InsertVideo(bool replace) {
  std::string values, updates;
  for (std::size_t i = 0; i < std::size(kVideoColumns); ++i) {
    values += (i > 0 ? ", $" : "$") + std::to_string(i + 1);
    if (i == 0) continue;
    const std::string name(kVideoColumns[i].name);
    updates += (updates.empty() ? "" : ", ") + name + " = EXCLUDED." + name;
  }
  return "INSERT INTO videos (" + VideoColumnList() + ") VALUES (" + values + ") ON CONFLICT (docid) DO " +
         (replace ? "UPDATE SET " + updates : std::string("NOTHING")) + " RETURNING docid";
}

// The claim of a recorded video is kept, marked taken, whoever held it.
constexpr std::string_view kClaimTaken =
    "INSERT INTO claims (docid, holder, expires_at, taken) VALUES ($1, $12, now(), true)"
    " ON CONFLICT (docid) DO UPDATE SET taken = true, holder = EXCLUDED.holder";

}  // namespace

PostgresCatalogue::PostgresCatalogue(std::string uri, Notice notice)
    : uri_(std::move(uri)), holder_(NewHolder()), lease_(LeaseFromEnvironment()), notice_(std::move(notice)) {
  std::string why;
  auto db = connectNow(&why);
  {
    std::vector<Stored> due;
    std::lock_guard lock(mutex_);
    if (db) {
      comeBackLocked(std::move(db), due);
    } else {
      awayReported_ = true;
      notify(ct::kSharedCatalogueAway, why);
    }
  }
  keeper_ = std::jthread([this](std::stop_token stop) { keep(stop); });
}

PostgresCatalogue::~PostgresCatalogue() {
  keeper_.request_stop();
  wake_.notify_all();
  if (keeper_.joinable()) keeper_.join();
  flushOwed(kStatementLimit);
  std::lock_guard lock(mutex_);
  for (const std::string& docid : std::set<std::string>(held_)) {
    if (!up_) break;
    execLocked("DELETE FROM claims WHERE docid = $1 AND holder = $2 AND NOT taken", {docid, holder_});
  }
}

void PostgresCatalogue::setNotice(Notice notice) {
  std::lock_guard lock(noticeMutex_);
  notice_ = std::move(notice);
}

void PostgresCatalogue::notify(std::string_view what, const std::string& detail) {
  std::lock_guard lock(noticeMutex_);
  if (notice_) notice_(Gbk(what) + Utf8ToGbk(detail));
}

std::unique_ptr<PostgresDatabase> PostgresCatalogue::connectNow(std::string* why) {
  auto db = std::make_unique<PostgresDatabase>();
  if (!db->connect(uri_, kConnectTimeout)) {
    *why = db->lastError();
    return nullptr;
  }
  PostgresResult result = db->exec("SET statement_timeout = " + Milliseconds(kStatementLimit));
  if (result.ok()) result = MigrateSharedCatalogue(*db);
  if (!result.ok()) {
    *why = result.error();
    return nullptr;
  }
  return db;
}

PostgresResult PostgresCatalogue::execLocked(std::string_view sql, const std::vector<PostgresParam>& params) {
  if (!up_ || !db_) return {};
  PostgresResult result = db_->exec(sql, params);
  if (!result.ok() && IsConnectionFailure(result, *db_)) {
    up_ = false;
    wake_.notify_all();
    if (!awayReported_) {
      awayReported_ = true;
      notify(ct::kSharedCatalogueAway, result.error().empty() ? db_->lastError() : result.error());
    }
  }
  return result;
}

void PostgresCatalogue::comeBackLocked(std::unique_ptr<PostgresDatabase> db, std::vector<Stored>& due) {
  db_ = std::move(db);
  up_ = true;
  const std::size_t owed = owed_.size();
  writeOwedLocked(due);
  if (awayReported_) {
    awayReported_ = false;
    notify(ct::kSharedCatalogueBack,
           std::to_string(owed - owed_.size()) + std::string(ct::kSharedCatalogueBackRows));
  }
  // Claims held while the server was away may have lapsed: they are renewed (or found taken
  // over) at the keeper's next turn.
}

void PostgresCatalogue::oweLocked(Owed item) {
  owed_.push_back(std::move(item));
  while (owed_.size() > kMaxOwed) owed_.pop_front();
}

bool PostgresCatalogue::writeOwedLocked(std::vector<Stored>& due) {
  while (!owed_.empty() && up_) {
    const Owed& item = owed_.front();
    PostgresResult result;
    if (item.isVideo) {
      result =
          execLocked("WITH v AS (" + InsertVideo(true) + "), f AS (DELETE FROM failures WHERE docid = $1)," +
                         " c AS (" + std::string(kClaimTaken) + ") SELECT count(*) FROM v",
                     VideoParams(item.video, holder_));
    } else {
      result = execLocked(
          "INSERT INTO failures (docid, attempts, last_reason, last_at, last_kind, last_detail)"
          " VALUES ($1, 1, $2, $3, $4, $5) ON CONFLICT (docid) DO UPDATE"
          " SET attempts = coalesce(failures.attempts, 0) + 1, last_reason = EXCLUDED.last_reason,"
          " last_at = EXCLUDED.last_at, last_kind = EXCLUDED.last_kind, last_detail = EXCLUDED.last_detail",
          {item.docid, GbkToUtf8(FailureText(item.failure)), item.at,
           std::string(FailureKindName(item.failure.kind)), std::to_string(item.failure.detail)});
    }
    // A statement the server refuses stays owed like one it never saw: it may be a lock or a
    // limit of the moment, and the next write tries again.
    if (!result.ok()) return false;
    if (item.isVideo) held_.erase(item.video.docid);
    if (item.stored) due.push_back(item.stored);
    owed_.pop_front();
  }
  return owed_.empty();
}

bool PostgresCatalogue::recordVideo(const CatalogueVideo& video, Stored stored) {
  std::vector<Stored> due;
  bool written = false;
  {
    std::lock_guard lock(mutex_);
    Owed item;
    item.video = video;
    item.stored = std::move(stored);
    oweLocked(std::move(item));
    written = writeOwedLocked(due);
  }
  for (const Stored& call : due) call();
  return written;
}

bool PostgresCatalogue::recordFailure(std::string_view docid, const DownloadFailure& failure) {
  std::vector<Stored> due;
  bool written = false;
  {
    std::lock_guard lock(mutex_);
    Owed item;
    item.isVideo = false;
    item.docid = docid;
    item.failure = failure;
    item.at = LocalIsoTime();
    oweLocked(std::move(item));
    written = writeOwedLocked(due);
  }
  for (const Stored& call : due) call();
  return written;
}

int PostgresCatalogue::addMissingVideos(const std::vector<CatalogueVideo>& videos) {
  std::lock_guard lock(mutex_);
  if (!up_) return -1;
  if (videos.empty()) return 0;
  PostgresResult result = execLocked("BEGIN");
  int added = 0;
  for (std::size_t i = 0; result.ok() && i < videos.size(); ++i) {
    result = execLocked("WITH v AS (" + InsertVideo(false) + "), c AS (" + std::string(kClaimTaken) +
                            ") SELECT count(*) FROM v",
                        VideoParams(videos[i], holder_));
    if (result.ok()) added += static_cast<int>(result.integer(0, 0));
  }
  if (result.ok()) result = execLocked("COMMIT");
  if (!result.ok()) {
    execLocked("ROLLBACK");
    return -1;
  }
  return added;
}

bool PostgresCatalogue::flushOwed(std::chrono::milliseconds patience) {
  std::vector<Stored> due;
  bool done = false;
  {
    std::unique_lock lock(mutex_);
    if (owed_.empty()) return true;
    if (!up_ && patience.count() > 0) {
      lock.unlock();
      std::string why;
      auto db = connectNow(&why);
      lock.lock();
      if (db && !up_) comeBackLocked(std::move(db), due);
    }
    done = writeOwedLocked(due);
  }
  for (const Stored& call : due) call();
  return done;
}

std::size_t PostgresCatalogue::owedCount() {
  std::lock_guard lock(mutex_);
  return owed_.size();
}

std::optional<CatalogueVideo> PostgresCatalogue::video(std::string_view docid) {
  std::lock_guard lock(mutex_);
  PostgresResult result =
      execLocked("SELECT coalesce(path, ''), coalesce(size_bytes, 0) FROM videos WHERE docid = $1",
                 {std::string(docid)});
  if (!result.ok() || result.rows() == 0) return std::nullopt;
  CatalogueVideo found;
  found.docid = docid;
  found.path = result.text(0, 0);
  found.sizeBytes = result.integer(0, 1);
  return found;
}

std::set<std::string> PostgresCatalogue::videoDocids() {
  std::lock_guard lock(mutex_);
  std::set<std::string> docids;
  PostgresResult result = execLocked("SELECT docid FROM videos");
  for (int row = 0; result.ok() && row < result.rows(); ++row) docids.insert(result.text(row, 0));
  return docids;
}

int PostgresCatalogue::attempts(std::string_view docid) {
  std::lock_guard lock(mutex_);
  PostgresResult result =
      execLocked("SELECT coalesce(attempts, 0) FROM failures WHERE docid = $1", {std::string(docid)});
  return result.ok() && result.rows() > 0 ? static_cast<int>(result.integer(0, 0)) : 0;
}

bool PostgresCatalogue::clearFailures() {
  std::lock_guard lock(mutex_);
  return execLocked("DELETE FROM failures").ok();
}

bool PostgresCatalogue::readCells(std::string_view sql,
                                  const std::function<void(const CatalogueCells&)>& row) {
  PostgresResult result;
  {
    std::lock_guard lock(mutex_);
    result = execLocked(sql);
  }
  if (!result.ok()) return false;
  struct Cells final : CatalogueCells {
    Cells(const PostgresResult& result, int row) : result(result), row(row) {}
    std::string text(int column) const override { return result.text(row, column); }
    std::int64_t integer(int column) const override { return result.integer(row, column); }
    const PostgresResult& result;
    const int row;
  };
  for (int i = 0; i < result.rows(); ++i) row(Cells(result, i));
  return true;
}

FleetClaim PostgresCatalogue::claim(std::string_view docid) {
  std::lock_guard lock(mutex_);
  if (!up_) return FleetClaim::Unavailable;
  const auto started = std::chrono::steady_clock::now();
  // One statement decides: a docid with a row, a taken claim or another collector's live claim
  // gives no row back; a lapsed claim, or none, becomes this collector's.
  PostgresResult result = execLocked(
      "INSERT INTO claims (docid, holder, expires_at)"
      " SELECT $1::text, $2::text, now() + $3::bigint * interval '1 millisecond'"
      " WHERE NOT EXISTS (SELECT 1 FROM videos WHERE docid = $1)"
      " ON CONFLICT (docid) DO UPDATE SET holder = EXCLUDED.holder, expires_at = EXCLUDED.expires_at"
      " WHERE NOT claims.taken AND (claims.holder = EXCLUDED.holder OR claims.expires_at < now())"
      " RETURNING holder",
      {std::string(docid), holder_, Milliseconds(lease_)});
  claimTimes_.push_back(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started));
  if (!result.ok()) return FleetClaim::Unavailable;
  if (result.rows() == 0) return FleetClaim::TakenElsewhere;
  held_.insert(std::string(docid));
  return FleetClaim::Granted;
}

void PostgresCatalogue::release(std::string_view docid) {
  std::lock_guard lock(mutex_);
  if (held_.erase(std::string(docid)) == 0) return;
  // While the server is away the claim simply lapses.
  execLocked("DELETE FROM claims WHERE docid = $1 AND holder = $2 AND NOT taken",
             {std::string(docid), holder_});
}

bool PostgresCatalogue::connected() {
  std::lock_guard lock(mutex_);
  return up_;
}

std::vector<std::chrono::microseconds> PostgresCatalogue::claimTimes() {
  std::lock_guard lock(mutex_);
  return claimTimes_;
}

void PostgresCatalogue::keep(std::stop_token stop) {
  // Three renewals fit in a lease, so one that is late does not let the claim lapse.
  const auto turn = std::min(lease_ / 3, kLongestReconnectPause);
  std::unique_lock lock(mutex_);
  while (!stop.stop_requested()) {
    wake_.wait_for(lock, stop, turn, [] { return false; });
    if (stop.stop_requested()) break;
    if (!up_) {
      lock.unlock();
      std::string why;
      auto db = connectNow(&why);
      std::vector<Stored> due;
      lock.lock();
      if (db && !up_) comeBackLocked(std::move(db), due);
      if (!due.empty()) {
        lock.unlock();
        for (const Stored& call : due) call();
        lock.lock();
      }
      continue;
    }
    for (const std::string& docid : held_) {
      if (!up_) break;
      execLocked(
          "UPDATE claims SET expires_at = now() + $3::bigint * interval '1 millisecond'"
          " WHERE docid = $1 AND holder = $2 AND NOT taken",
          {docid, holder_, Milliseconds(lease_)});
    }
  }
}

}  // namespace pelvaro
