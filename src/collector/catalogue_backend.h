#pragma once
// What the crawl asks of a catalogue, whichever database keeps it: the SQLite file of one
// machine (the default) or a PostgreSQL server shared by a fleet of collectors. Either way the
// catalogue adds to the history markers and never overrides them, and a catalogue that cannot
// be reached never stops the crawl: writes are owed until they can be made, reads find nothing.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "collector/catalogue_video.h"
#include "platform/text.h"
#include "web/download_failure.h"

namespace pelvaro {

// One row of a query's answer, column by column (UTF-8 texts; NULL reads as "" and 0).
class CatalogueCells {
 public:
  virtual std::string text(int column) const = 0;
  virtual std::int64_t integer(int column) const = 0;

 protected:
  ~CatalogueCells() = default;
};

// Whether this collector may take a docid, as the catalogue sees it.
enum class FleetClaim {
  Granted,         // go ahead (a catalogue of one machine always says so)
  TakenElsewhere,  // another collector took the video or holds a live claim on it
  Unavailable,     // the shared catalogue cannot be asked now: only the local history decides
};

class CatalogueBackend {
 public:
  // After this many failed downloads a video is no longer tried.
  static constexpr int kGiveUpAttempts = 3;
  // Runs once the row it came with is stored.
  using Stored = std::function<void()>;
  // A line for the log (GBK).
  using Notice = std::function<void(const Text&)>;

  virtual ~CatalogueBackend() = default;

  // Where notices go from now on.
  virtual void setNotice(Notice notice) = 0;
  // False when writing is pointless for this run (rows would only wait for nobody).
  virtual bool usable() const = 0;

  // The row of a complete, marked video, together with forgetting its failures. False when it
  // is owed (or the catalogue is unusable); `stored` runs once it is written.
  virtual bool recordVideo(const CatalogueVideo& video, Stored stored = {}) = 0;
  // Rows for videos the catalogue lacks (existing rows are kept as they are); the number added,
  // or -1 when the write failed (nothing is owed then).
  virtual int addMissingVideos(const std::vector<CatalogueVideo>& videos) = 0;
  // One more failed attempt for the docid, with its failure; owed like a row.
  virtual bool recordFailure(std::string_view docid, const DownloadFailure& failure) = 0;
  // Writes what is owed, waiting up to `patience`; true when nothing is owed any more.
  virtual bool flushOwed(std::chrono::milliseconds patience) = 0;
  virtual std::size_t owedCount() = 0;

  // The row of a docid (its path and size at least; an owed one is not there yet).
  virtual std::optional<CatalogueVideo> video(std::string_view docid) = 0;
  // Every docid with a row.
  virtual std::set<std::string> videoDocids() = 0;
  // The failed attempts counted for the docid.
  virtual int attempts(std::string_view docid) = 0;
  bool givenUp(std::string_view docid) { return attempts(docid) >= kGiveUpAttempts; }
  // Forgets every failure, so that every video is tried again.
  virtual bool clearFailures() = 0;

  // Runs a query that only reads, in SQL both databases understand, and hands each row to
  // `row`, which must not call back into the catalogue. False when the query failed.
  virtual bool readCells(std::string_view sql, const std::function<void(const CatalogueCells&)>& row) = 0;

  // Claims the docid for this collector before the first request for its file. A granted
  // claim is held until its video is recorded or released.
  virtual FleetClaim claim(std::string_view docid) {
    (void)docid;
    return FleetClaim::Granted;
  }
  // Gives a claim back without a video (the download failed or never started).
  virtual void release(std::string_view docid) { (void)docid; }

 protected:
  // One write a backend could not make yet, kept for the next write that succeeds.
  struct Owed {
    bool isVideo = true;
    CatalogueVideo video;
    std::string docid, at;  // a failure
    DownloadFailure failure;
    Stored stored;
  };
};

}  // namespace pelvaro
