#pragma once
// When a taken video is reported to the collection service: only once its file is complete and
// marked, and once. The crawl reports a video it waited for itself, after its pause; a download
// that outlived the crawl's wait is reported when it completes, while that crawl still runs; a
// taken video the crawl could not report any more (a stop or a limit ended it first) stays owed,
// and the terminal front end reports what is owed before it exits.

#include <functional>
#include <map>
#include <mutex>
#include <set>

#include "collector/download_end.h"
#include "platform/text.h"

namespace pelvaro {

class VideoReporter : public DownloadSubscriber {
 public:
  // Sends one report: the video's category and docid (GBK).
  using Send = std::function<void(const Text& category, const Text& docid)>;

  // By default the report goes to the collection service.
  explicit VideoReporter(Send send = {});

  void onEnd(const DownloadEnd& end) override;

  // The crawl's report of a video it waited for and took, after its pause.
  void reportTaken(const VideoRecord& record);

  // Reports every video still owed, telling `before` of each docid first; stops at a stop
  // request of the calling thread's job.
  void reportOwed(const std::function<void(const Text& docid)>& before = {});

 private:
  Send send_;
  std::mutex mutex_;
  std::map<Text, Text> owed_;  // docid -> category, taken and not reported yet
  // Reported by the crawl before its download's end came in (the two race).
  std::set<Text> reportedEarly_;
};

}  // namespace pelvaro
