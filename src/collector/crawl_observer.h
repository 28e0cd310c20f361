#pragma once

#include "collector/video_filter.h"
#include "collector/video_record.h"
#include "platform/text.h"

namespace pelvaro {

// What a front end may want to follow while a crawl runs (the terminal's lines and counters).
// The crawl worker calls these on its own thread, in order: an entry, then what became of it.
// Download ends reach the downloads' subscribers instead.
class CrawlObserver {
 public:
  virtual ~CrawlObserver() = default;
  // A related-videos answer with this many entries (0 as well when there was no answer).
  virtual void onPass(int entries) { (void)entries; }
  // The pass before got no answer from the platform at host (GBK), for this reason (GBK).
  virtual void onUnanswered(const Text& host, const Text& reason) { (void)host, (void)reason; }
  // The crawl turns to the entry with this number in the answer, from 1.
  virtual void onEntry(int number) { (void)number; }
  // The video is in the history, or a download of it still runs.
  virtual void onPresent(const Text& docid) { (void)docid; }
  // Another collector sharing the catalogue took the video or is taking it.
  virtual void onClaimedElsewhere(const Text& docid) { (void)docid; }
  virtual void onRejected(const VideoRecord& record, RejectReason reason) { (void)record, (void)reason; }
  // Its file exists already.
  virtual void onExists(const VideoRecord& record) { (void)record; }
  // Its download is about to start (the title is final).
  virtual void onDownloadStarting(const VideoRecord& record) { (void)record; }
  // How far the download the crawl waits for has come: its fraction done, from 0 to 1.
  virtual void onProgress(const Text& docid, double fraction) { (void)docid, (void)fraction; }
  // The crawl stopped by itself for this reason (GBK): a marker could not be written.
  virtual void onHalt(const Text& reason) { (void)reason; }
};

// The observer of a crawl nobody follows: every call does nothing.
inline CrawlObserver& NoCrawlObserver() {
  static CrawlObserver none;
  return none;
}

}  // namespace pelvaro
