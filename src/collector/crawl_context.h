#pragma once

#include "collector/crawl_timing.h"
#include "platform/form.h"

namespace pelvaro {

class VideoDownloads;
class CrawlObserver;
class CatalogueBackend;

// What the steps of a crawl work with: the window, the downloads, the waits, an optional
// observer (the terminal front end's counters) and the catalogue, when there is one.
struct CrawlContext {
  Form& form;
  VideoDownloads& downloads;
  CrawlTiming timing{};
  CrawlObserver* observer = nullptr;
  CatalogueBackend* catalogue = nullptr;
};

}  // namespace pelvaro
