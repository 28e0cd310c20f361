#pragma once
// What pelvaro-cli follows of a crawl: the counts of the summary, a line per handled video and
// the live status line on a terminal, one JSON object per ended video for scripts (--json),
// and why the platform gives nothing. Called from the crawl worker, the downloader's threads and
// the main thread.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/cli/status_line.h"
#include "app/cli/terminal_output.h"
#include "collector/crawl_observer.h"
#include "collector/download_end.h"
#include "platform/path.h"

namespace pelvaro::cli {

class CrawlReport : public CrawlObserver, public DownloadSubscriber {
 public:
  // `json`: where the JSON Lines go (stdout), or null without --json.
  explicit CrawlReport(TerminalOutput& output, std::FILE* json = nullptr) : output_(output), json_(json) {}

  void onPass(int entries) override;
  void onUnanswered(const Text& host, const Text& reason) override;
  void onEntry(int number) override;
  void onPresent(const Text& docid) override;
  // Counted as present: the video is in the fleet's history.
  void onClaimedElsewhere(const Text& docid) override;
  void onRejected(const VideoRecord& record, RejectReason reason) override;
  void onExists(const VideoRecord& record) override;
  void onDownloadStarting(const VideoRecord& record) override;
  // Moves the current download's bar.
  void onProgress(const Text& docid, double fraction) override;
  void onHalt(const Text& reason) override;

  // Told when the crawl halts by itself (after the reason is shown).
  void setHaltListener(std::function<void()> listener) { haltListener_ = std::move(listener); }

  // A download ended; one the program stopped at the end of the run (its partial file
  // removed) counts as a failure.
  void onEnd(const DownloadEnd& end) override;

  // Whether any pass got an answer from the platform.
  bool platformAnswered() const { return answered_; }
  // "HOST：REASON" (UTF-8) of the last pass without an answer; empty when there was none.
  std::string lastUnanswered() const;

  // "summary taken=N present=N rejected=N failed=N bytes=N seconds=S reject_…=N …"
  std::string summaryLine(double seconds) const;
  // "failed_by_reason REASON=N; …" (the reasons in the program's words), or empty when no
  // download failed.
  std::string failureReasonsLine() const;
  // {"summary": {"taken": N, "present": N, "rejected": N, "failed": N, "bytes": N, "seconds": S}}
  std::string summaryJson(double seconds) const;
  // The summary as a person reads it (UTF-8, one line, no line end).
  std::string readableSummary(double seconds) const;

  std::atomic<std::int64_t> taken{0}, present{0}, rejected{0}, failed{0}, bytes{0};

 private:
  struct Video {
    int entry = 0;
    std::string title;  // UTF-8, every character kept
    Text sizeMb;
  };
  // One ended video, for the terminal line and the JSON object.
  struct Ended {
    int entry = 0;
    Text docid;
    std::string_view outcome;  // taken, present, claimed, rejected, failed
    std::string shown;         // the outcome as the terminal line says it (UTF-8)
    std::string title;         // UTF-8, every character kept
    std::string size;  // as the terminal line shows it
    std::string extra;
    std::optional<Path> path;
    std::int64_t bytes = 0;
    double seconds = 0;
    std::string reason;  // UTF-8
  };

  // The line of an ended video on a terminal `columns` wide.
  static std::string VideoLine(const Ended& video, std::size_t columns);
  void ended(const Ended& video);
  void passedOver(const Text& docid, std::string_view outcome, std::string_view shown);
  void refreshStatus();

  TerminalOutput& output_;
  std::function<void()> haltListener_;
  std::FILE* const json_;
  std::atomic<std::int64_t> byReason_[4] = {};
  std::atomic<bool> answered_{false};
  mutable std::mutex mutex_;
  CrawlStatus status_;
  bool passUnanswered_ = false;  // onUnanswered came for the pass under way
  std::string lastUnanswered_;
  std::map<Text, Video> videos_;           // downloads started and not ended yet
  std::map<Text, std::int64_t> failedBy_;  // failure reason (GBK) -> downloads
  std::mutex jsonMutex_;
};

}  // namespace pelvaro::cli
