#include "collector/crawl_subscribers.h"

#include "collector/crawl_log.h"

namespace pelvaro {

CrawlSubscribers::CrawlSubscribers(VideoDownloads& downloads, Form& form, CatalogueBackend* catalogue,
                                   SameCauseNotice::Notice notice)
    : recorder_(catalogue),
      display_(form),
      sameCause_(notice ? std::move(notice) : [&form](const Text& line) { AppendLog(form, line); }) {
  // The row is stored before the video is reported: the service hears only of what was kept.
  subscriptions_.push_back(downloads.subscribe(recorder_));
  subscriptions_.push_back(downloads.subscribe(display_));
  subscriptions_.push_back(downloads.subscribe(reporter_));
  subscriptions_.push_back(downloads.subscribe(sameCause_));
}

}  // namespace pelvaro
