#pragma once

#include "collector/crawl_observer.h"
#include "collector/crawl_timing.h"
#include "platform/form.h"

namespace pelvaro {

class VideoDownloads;
class VideoReporter;
class CatalogueBackend;

// What the steps of a crawl work with: the window, the downloads, the reporter of taken videos
// (subscribed to the downloads' ends), the waits, an optional observer (the terminal front end's
// counters; never null) and the catalogue, when there is one.
struct CrawlContext {
  Form& form;
  VideoDownloads& downloads;
  VideoReporter& reporter;
  CrawlTiming timing{};
  CrawlObserver* observer = &NoCrawlObserver();
  CatalogueBackend* catalogue = nullptr;
};

}  // namespace pelvaro
