#pragma once

#include "collector/crawl_timing.h"
#include "platform/form.h"

namespace pelvaro {

class VideoDownloads;
class CrawlObserver;

// What the steps of a crawl work with: the window, the downloads, the waits, and an optional
// observer (the terminal front end's counters).
struct CrawlContext {
  Form& form;
  VideoDownloads& downloads;
  CrawlTiming timing{};
  CrawlObserver* observer = nullptr;
};

}  // namespace pelvaro
