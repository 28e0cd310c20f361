#pragma once
// What every crawl's downloads tell at their end, for as long as this lives: the catalogue's
// rows, the window's row and log, the collection service's reports, the notice of failures with
// one cause. It outlives the crawls whose
// downloads it hears (a download may end after its crawl), and goes before the form and the
// catalogue do.

#include <vector>

#include "collector/catalogue_recorder.h"
#include "collector/download_display.h"
#include "collector/same_cause_notice.h"
#include "collector/video_downloads.h"
#include "collector/video_reporter.h"

namespace pelvaro {

class CrawlSubscribers {
 public:
  // The notice of failures with one cause goes to the form's log unless `notice` is given.
  CrawlSubscribers(VideoDownloads& downloads, Form& form, CatalogueBackend* catalogue,
                   SameCauseNotice::Notice notice = {});

  VideoReporter& reporter() { return reporter_; }
  // The catalogue of the downloads that end from now on.
  void useCatalogue(CatalogueBackend* catalogue) { recorder_.use(catalogue); }

 private:
  CatalogueRecorder recorder_;
  DownloadDisplay display_;
  VideoReporter reporter_;
  SameCauseNotice sameCause_;
  // Last: they end first, before what they call.
  std::vector<VideoDownloads::Subscription> subscriptions_;
};

}  // namespace pelvaro
