#pragma once
// What the downloads tell those who follow them: how each one ended, and each time one asks the
// server again. Every follower (the catalogue, the window's row and log, the collection
// service's reports, a front end's counts) subscribes to VideoDownloads and hears every event,
// on whichever thread the download ended; each decides for itself what an event means to it.

#include <cstdint>
#include <memory>

#include "collector/video_record.h"
#include "platform/claim_file.h"
#include "platform/form.h"
#include "platform/path.h"
#include "platform/text.h"
#include "web/download_failure.h"

namespace pelvaro {

enum class DownloadState { Running, Complete, Failed };

// Who followed a download when it ended.
enum class EndWitness {
  Crawl,       // the crawl waited for it (or was stopped while it waited)
  Background,  // the crawl gave up waiting and went on to the next video
  NoCrawl,     // the crawl gave up waiting and has been stopped since
};

struct DownloadEnd {
  Text docid;
  Path path;
  DownloadState state = DownloadState::Failed;  // never Running
  // Why a failed download failed; None for a complete one.
  DownloadFailure failure;
  std::int64_t bytes = 0;  // the finished file's size; 0 unless complete
  double seconds = 0;      // from its start to its end
  // Stopped by the program (the run ends), not failed on its own: no failure to count.
  bool stopped = false;
  EndWitness witness = EndWitness::Crawl;
  // What the crawl knew of the video, and the list row that shows it (kNoRow for none).
  VideoRecord video;
  RowHandle row = kNoRow;
  // A complete download's claim: its record names the file until the catalogue row is stored,
  // and whoever stores the row removes it. Null when the docid had no claim.
  std::shared_ptr<ClaimFile> claim;

  bool complete() const { return state == DownloadState::Complete; }
};

// A download asks the server again; the line says why, for the log (GBK).
struct DownloadRetry {
  Text docid;
  Text line;
};

class DownloadSubscriber {
 public:
  virtual ~DownloadSubscriber() = default;
  virtual void onEnd(const DownloadEnd& end) = 0;
  virtual void onRetry(const DownloadRetry& retry) { (void)retry; }
};

}  // namespace pelvaro
