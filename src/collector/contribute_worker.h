#pragma once
// The data contribution: from the article in the seed-link box, one related-videos request per
// pass, and a report to the collection service of every related video the history does not
// hold, with its category. The collection service's reply to the latest report shows in the
// contribution's status label. At the end of a pass the seed link becomes the article link of
// the answer's last entry, so the next pass walks on from there. Nothing is downloaded, no file
// is written and no log line appears. After a stop the worker starts no further step (no
// request, report or control change).

#include <chrono>

#include "platform/form.h"
#include "platform/text.h"

namespace pelvaro {

// The contribution's waits. The defaults are the program's; tests shorten them. The two short
// pauses around parsing an answer (20 ms) are fixed.
struct ContributeTiming {
  std::chrono::milliseconds entryPause{500};  // before each entry, reported or not
  // After a pass that gave no next seed (a failed request, an answer without entries, a last
  // entry without docid): the seed link is kept and the same article is asked again then.
  std::chrono::milliseconds retryWait{5000};
};

// What a pass did, for the terminal front end's counters. Called on the worker's thread.
class ContributeObserver {
 public:
  virtual ~ContributeObserver() = default;
  virtual void onReported(const Text& docid, const Text& category, const Text& reply) = 0;
  virtual void onInHistory(const Text& docid) = 0;
  virtual void onPassDone(int entries) = 0;
};

class VideoDownloads;

class ContributeWorker {
 public:
  // With `downloads`, a video whose download still runs counts as taken, as in the crawl.
  explicit ContributeWorker(Form& form, ContributeTiming timing = {}, ContributeObserver* observer = nullptr,
                            const VideoDownloads* downloads = nullptr)
      : form_(form), timing_(timing), observer_(observer), downloads_(downloads) {}

  // The worker body: passes until the calling thread's job is asked to stop.
  void Run();

  // One pass from the current seed link. False when stopped on the way.
  bool Pass();

 private:
  Form& form_;
  ContributeTiming timing_;
  ContributeObserver* observer_;
  const VideoDownloads* downloads_;
  bool lastPassGaveSeed_ = true;
};

}  // namespace pelvaro
