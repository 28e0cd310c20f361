#include "app/cli/crawl_run.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stop_token>
#include <string>

#include "app/cli/crawl_report.h"
#include "app/cli/stop_signals.h"
#include "app/cli/terminal_output.h"
#include "collector/catalogue.h"
#include "collector/catalogue_choice.h"
#include "collector/categories.h"
#include "collector/collector_settings.h"
#include "collector/crawl_log.h"
#include "collector/crawl_session.h"
#include "collector/crawl_subscribers.h"
#include "collector/log_texts.h"
#include "collector/output_layout.h"
#include "collector/postgres_catalogue.h"
#include "collector/video_downloads.h"
#include "platform/files.h"
#include "platform/memory_form.h"
#include "platform/window_layout.h"
#include "platform/worker.h"
#include "web/ranged_downloader.h"

namespace pelvaro::cli {
namespace {

namespace mw = main_window;

// The crawl halted by itself: the history folder stopped taking markers.
constexpr int kExitFolderUnwritable = kExitBadStart;
// What a download under way gets to finish once a limit has ended the crawl.
constexpr std::chrono::seconds kGrace{5};
// How long the rows still owed wait for another program's lock on the catalogue at the end.
constexpr std::chrono::seconds kOwedRowsPatience{10};

// Ends the run: a limit reached or a signal received.
struct RunEnd {
  std::mutex mutex;
  std::condition_variable changed;
  int signal = 0;
  bool limitReached = false;
  bool halted = false;

  void set(bool limit, int received) {
    {
      std::lock_guard lock(mutex);
      if (limit) limitReached = true;
      if (received != 0 && signal == 0) signal = received;
    }
    changed.notify_all();
  }
  void halt() {
    {
      std::lock_guard lock(mutex);
      halted = true;
    }
    changed.notify_all();
  }
  bool wasHalted() {
    std::lock_guard lock(mutex);
    return halted;
  }
  int receivedSignal() {
    std::lock_guard lock(mutex);
    return signal;
  }
};

void ApplyOptions(Form& form, const CliOptions& options) {
  form.setTextUtf8(mw::kOutputFolder, DefaultOutputFolder().bytes());
  const Text all = Gbk(collector_text::kAllCategories);
  form.clearItems(mw::kCategoryBox);
  form.addItem(mw::kCategoryBox, all);
  form.setCurrentIndex(mw::kCategoryBox, 0);
  if (options.category && Utf8ToGbk(*options.category) != all) {
    form.addItem(mw::kCategoryBox, Utf8ToGbk(*options.category));
    form.setCurrentIndex(mw::kCategoryBox, 1);
  }
  // A folder is the user's bytes; every other value is a text of the program.
  for (const auto& [control, value] : options.controls) {
    if (control == mw::kOutputFolder) {
      form.setTextUtf8(control, value);
    } else {
      form.setText(control, Utf8ToGbk(value));
    }
  }
  if (options.categoryFolders) form.setChecked(mw::kNoSubfolders, false);
}

// A category the list does not know rejects every video; the run still goes on as asked.
void CheckCategory(const CliOptions& options, TerminalOutput& output) {
  if (!options.category || Utf8ToGbk(*options.category) == Gbk(collector_text::kAllCategories)) return;
  const auto categories = SplitCategoryList(FetchCategoryList());
  if (StopRequested()) return;
  std::string known;
  for (const Text& category : categories) {
    if (category == Utf8ToGbk(*options.category)) return;
    if (category.empty()) continue;
    known += (known.empty() ? "" : ", ") + GbkToUtf8(category);
  }
  if (categories.empty()) {
    output.error("pelvaro-cli: warning: the category list could not be loaded; --category '" +
                 *options.category + "' is used as given");
  } else {
    output.error(
        "pelvaro-cli: warning: --category '" + *options.category +
        "' is not in the category list, so every video will be rejected; known categories: " + known);
  }
}

// The fleet's figure of a run: how long the claims took, for the operator of a fleet.
std::string ClaimTimesLine(std::vector<std::chrono::microseconds> times) {
  std::sort(times.begin(), times.end());
  const auto at = [&times](double share) {
    if (times.empty()) return 0.0;
    const auto index = static_cast<std::size_t>(share * static_cast<double>(times.size() - 1) + 0.5);
    return static_cast<double>(times[index].count()) / 1000.0;
  };
  char line[160];
  std::snprintf(line, sizeof line, "pelvaro-cli: shared catalogue claims=%zu median_ms=%.3f p99_ms=%.3f",
                times.size(), at(0.5), at(0.99));
  return line;
}

// Ends the run once the videos taken reach --max-videos.
class RunLimit : public DownloadSubscriber {
 public:
  RunLimit(const CrawlReport& report, std::int64_t maxVideos, RunEnd& end)
      : report_(report), maxVideos_(maxVideos), end_(end) {}
  void onEnd(const DownloadEnd&) override {
    if (report_.taken >= maxVideos_) end_.set(true, 0);
  }

 private:
  const CrawlReport& report_;
  const std::int64_t maxVideos_;
  RunEnd& end_;
};

}  // namespace

int RunCrawl(const CliOptions& options) {
  RunEnd end;
  std::stop_source mainStop;
  // Before any other thread starts, so that every thread inherits the blocked signals; declared
  // after what its handler touches, so it is joined before they go.
  StopSignals signals([&end, &mainStop](int signal) {
    mainStop.request_stop();
    end.set(false, signal);
  });
  TerminalOutput output(TerminalOutput::ModeFor(options.log, options.quiet));
  CrawlReport report(output, options.json ? stdout : nullptr);
  auto form = MemoryForm::MainWindow();
  ApplyOptions(*form, options);
  // Before the first request: a folder that cannot take videos would fail every one of them.
  const Path outputFolder = CollectorSettings(*form).outputFolder();
  if (const int error = FolderWriteError(outputFolder); error != 0) {
    output.error("pelvaro-cli: the output folder '" + outputFolder.bytes() +
                 "' cannot be written: " + std::strerror(error) + "; choose another with --output DIR");
    return kExitBadStart;
  }
  // Declared before the downloads: a download that ends writes its row into it.
  const std::unique_ptr<CatalogueBackend> opened = OpenCatalogue(
      options.catalogueUri,
      [&output](const Text& line) { output.logs() ? output.logLine(line) : output.error(GbkToUtf8(line)); });
  CatalogueBackend& catalogue = *opened;
  if (options.retryFailed) catalogue.clearFailures();
  RangedDownloader downloader;
  VideoDownloads downloads(downloader);
  // The main thread's own requests (category list, last reports) end with a signal too.
  StopScope mainScope(mainStop.get_token());

  form->setLineObserver([&output](std::string_view control, const Text& line) {
    if (control == mw::kLog) output.logLine(line);
  });
  // Every download's end: the counts and the limit first, then its row, its report, a notice.
  RunLimit limit(report, options.maxVideos.value_or(INT64_MAX), end);
  const VideoDownloads::Subscription counted[] = {downloads.subscribe(report), downloads.subscribe(limit)};
  Form* log = form.get();
  CrawlSubscribers subscribers(downloads, *form, &catalogue, [&output, log](const Text& line) {
    if (output.screen()) output.line(GbkToUtf8(line));
    AppendLog(*log, line);
  });
  report.setHaltListener([&end] { end.halt(); });

  const auto started = std::chrono::steady_clock::now();
  CheckCategory(options, output);
  CrawlSession session(CrawlContext{*form, downloads, subscribers.reporter(), CrawlTimingFromEnvironment(),
                                    &report, &catalogue});
  if (!mainStop.stop_requested()) session.Toggle();
  {
    std::unique_lock lock(end.mutex);
    const auto done = [&end] { return end.signal != 0 || end.limitReached || end.halted; };
    if (options.maxSeconds) {
      if (!end.changed.wait_until(lock, started + std::chrono::seconds(*options.maxSeconds), done)) {
        end.limitReached = true;
      }
    } else {
      end.changed.wait(lock, done);
    }
  }
  if (session.running()) session.Toggle();
  session.worker().Join();

  // A limit lets a download under way finish for a few seconds; a signal does not wait.
  if (end.receivedSignal() == 0 && !downloads.waitAllFor(std::chrono::milliseconds(0))) {
    output.line("pelvaro-cli: waiting up to " + std::to_string(kGrace.count()) +
                " s for the download under way to finish");
    // In short steps, so that a signal during the grace still ends the run at once.
    const auto deadline = std::chrono::steady_clock::now() + kGrace;
    while (end.receivedSignal() == 0 && std::chrono::steady_clock::now() < deadline &&
           !downloads.waitAllFor(std::chrono::milliseconds(100))) {
    }
  }
  downloads.stopAll();
  // The form goes before the downloads do: an end that comes from now on calls nothing.
  downloads.detach();

  // The crawl reports a video after its pause; a limit may have ended the crawl before that.
  subscribers.reporter().reportOwed([&](const Text& docid) {
    // Worth a line in a log; on a screen, a detail nobody acts on.
    if (end.receivedSignal() == 0 && output.logs()) {
      output.line("pelvaro-cli: reporting " + GbkToUtf8(docid) + " to the collection service");
    }
  });
  // Rows that could not be written during the run get their last chance now; what still fails
  // is left in the claims' records for the next start.
  if (end.receivedSignal() == 0 && !catalogue.flushOwed(kOwedRowsPatience)) {
    output.line("pelvaro-cli: " + std::to_string(catalogue.owedCount()) +
                " catalogue rows could not be written; the next run adds them");
  }
  if (auto* shared = dynamic_cast<PostgresCatalogue*>(&catalogue);
      shared != nullptr && end.receivedSignal() == 0) {
    output.line(ClaimTimesLine(shared->claimTimes()));
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  output.finish();
  const int signal = end.receivedSignal();
  const bool answered = report.platformAnswered();
  if (signal == 0 && !answered) {
    const std::string why = report.lastUnanswered();
    output.error("pelvaro-cli: the platform never answered during the run" +
                 (why.empty() ? std::string(" (its first answer had not come yet)") : " (" + why + ")"));
  }
  if (output.terminal()) output.error(report.readableSummary(seconds));
  if (options.json) {
    std::fputs(report.summaryJson(seconds).c_str(), stdout);
  } else {
    std::fputs(report.summaryLine(seconds).c_str(), stdout);
    std::fputs(report.failureReasonsLine().c_str(), stdout);
  }
  std::fflush(stdout);
  if (signal != 0) return SignalExitStatus(signal);
  if (end.wasHalted()) return kExitFolderUnwritable;
  return answered ? kExitDone : kExitNoPlatform;
}

}  // namespace pelvaro::cli
