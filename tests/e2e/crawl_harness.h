#pragma once
// The crawl as the main window runs it, on the in-memory form, with short waits, against the
// simulator. The harness records every row the crawl filled (rows are deleted again) and lets
// a test wait for what the crawl does, without any timing assumption beyond a hang guard.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "collector/catalogue.h"
#include "collector/crawl_context.h"
#include "collector/crawl_session.h"
#include "collector/crawl_subscribers.h"
#include "collector/video_downloads.h"
#include "platform/memory_form.h"
#include "web/ranged_downloader.h"

namespace pelvaro::e2e {

class CrawlHarness : private DownloadSubscriber {
 public:
  // Output folder: the data folder's "video"; every filter open; no pause after a download.
  // The passes write into `catalogue` when one is given (see useCatalogue).
  explicit CrawlHarness(Catalogue* catalogue = nullptr);
  ~CrawlHarness();

  MemoryForm& form() { return *form_; }
  VideoDownloads& downloads() { return downloads_; }
  CrawlContext context() {
    return CrawlContext{*form_, downloads_, subscribers_.reporter(), timing_, &NoCrawlObserver(), catalogue_};
  }
  // The catalogue the passes of runPass write into (none by default); it must outlive the
  // harness's downloads.
  void useCatalogue(Catalogue* catalogue) {
    catalogue_ = catalogue;
    subscribers_.useCatalogue(catalogue);
  }
  CrawlSession& session() { return session_; }
  // The waits of the passes runPass makes from now on.
  CrawlTiming& timing() { return timing_; }
  std::string outputFolder() const;

  // Sets a control from UTF-8.
  void set(std::string_view control, const std::string& utf8);

  // One pass on a worker thread, waited for; the seeds the pass queued.
  std::vector<std::string> runPass(const std::string& seed);
  // runPass, then every download the harness holds waited for.
  std::vector<std::string> runPassToTheEnd(const std::string& seed);

  // The log box, one UTF-8 line per entry (CR LF split).
  std::vector<std::string> log();
  // Every log line appended since the harness started (the box itself is emptied per pass).
  std::vector<std::string> allLogLines();

  // The cells each row ever got (UTF-8), by row handle, in order of creation.
  std::vector<std::vector<std::string>> rows();

  // Waits until pred holds; checks again after every log line, cell change or download end.
  // False when it did not hold within the hang guard.
  bool waitUntil(const std::function<bool()>& pred);

 private:
  void changed();
  void onEnd(const DownloadEnd&) override { changed(); }

  std::unique_ptr<MemoryForm> form_;
  RangedDownloader downloader_;
  VideoDownloads downloads_{downloader_};
  CrawlTiming timing_;
  Catalogue* catalogue_ = nullptr;
  CrawlSubscribers subscribers_{downloads_, *form_, catalogue_};
  CrawlSession session_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t changes_ = 0;
  std::vector<std::string> lines_;
  std::map<RowHandle, std::vector<std::string>> rows_;
  VideoDownloads::Subscription heard_ = downloads_.subscribe(*this);
};

// The first seed the collection service hands out for every category (UTF-8).
std::string SeedFromService();

}  // namespace pelvaro::e2e
