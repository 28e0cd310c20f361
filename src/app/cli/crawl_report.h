#pragma once
// What pelvaro-cli follows of a crawl: the counts of the summary line, a line per handled video
// and the live status line on a terminal, and the taken videos whose report to the collection
// service the crawl had not sent yet when the run ended. Called from the crawl worker, the
// downloader's threads and the main thread.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/cli/terminal_output.h"
#include "collector/crawl_observer.h"

namespace pelvaro {
class VideoDownload;
}

namespace pelvaro::cli {

class CrawlReport : public CrawlObserver {
 public:
  explicit CrawlReport(TerminalOutput& output) : output_(output) {}

  void onPass(int entries) override;
  void onEntry(int number) override;
  void onPresent(const Text& docid) override;
  void onRejected(const VideoRecord& record, RejectReason reason) override;
  void onExists(const VideoRecord& record) override;
  void onDownloadStarting(const VideoRecord& record) override;
  void onReported(const VideoRecord& record) override;
  void onHalt(const Text& reason) override;

  // Told when the crawl halts by itself (after the reason is shown).
  void setHaltListener(std::function<void()> listener) { haltListener_ = std::move(listener); }

  // A download ended (VideoDownloads' end listener).
  void downloadEnded(const VideoDownload& download);
  // A download stopped at the end of the run, its partial file removed.
  void downloadStopped(const Text& docid);
  // A status cell of the list: a percentage ("45.5%") moves the current download's bar.
  void progressCell(const Text& value);

  // Taken videos not yet reported to the service, as (category, docid); they count as
  // reported from now on.
  std::vector<std::pair<Text, Text>> takeUnreported();

  // "summary taken=N present=N rejected=N failed=N bytes=N seconds=S reject_…=N …"
  std::string summaryLine(double seconds) const;
  // "failed_by_reason REASON=N; …" (the reasons in the program's words), or empty when no
  // download failed.
  std::string failureReasonsLine() const;

  std::atomic<std::int64_t> taken{0}, present{0}, rejected{0}, failed{0}, bytes{0};

 private:
  struct Video {
    int entry = 0;
    Text title, category, sizeMb;
    std::chrono::steady_clock::time_point started;
    bool ended = false;
    bool reported = false;
  };

  void videoLine(int entry, const Text& docid, std::string_view outcome, const Text& title,
                 const std::string& size, const std::string& extra = {});
  void refreshStatus();

  TerminalOutput& output_;
  std::function<void()> haltListener_;
  std::atomic<std::int64_t> byReason_[4] = {};
  mutable std::mutex mutex_;
  int passes_ = 0;
  int entries_ = 0;
  int entry_ = 0;
  std::string bar_;
  std::map<Text, Video> videos_;
  std::map<Text, std::int64_t> failedBy_;  // failure reason (GBK) -> downloads  // downloads started and not yet both ended and reported
};

}  // namespace pelvaro::cli
