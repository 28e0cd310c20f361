#pragma once

#include "collector/crawl_observer.h"
#include "collector/crawl_timing.h"
#include "platform/form.h"

namespace pelvaro {

class VideoDownloads;
class CatalogueBackend;

// What the steps of a crawl work with: the window, the downloads, the waits, an optional
// observer (the terminal front end's counters; never null) and the catalogue, when there is one.
struct CrawlContext {
  Form& form;
  VideoDownloads& downloads;
  CrawlTiming timing{};
  CrawlObserver* observer = &NoCrawlObserver();
  CatalogueBackend* catalogue = nullptr;
};

}  // namespace pelvaro
