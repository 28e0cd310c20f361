#pragma once

#include "collector/video_filter.h"

namespace pelvaro {

// What a front end may want to count while a crawl runs. The crawl worker calls these on its
// own thread; download ends are reported by VideoDownloads' end listener instead.
class CrawlObserver {
 public:
  virtual ~CrawlObserver() = default;
  // The video is in the history or its file exists already.
  virtual void onPresent() {}
  virtual void onRejected(RejectReason reason) { (void)reason; }
};

}  // namespace pelvaro
