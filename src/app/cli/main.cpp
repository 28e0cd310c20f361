// pelvaro-cli: the crawl of the main window's start button in a terminal, through the in-memory
// form: the same code, the same controls, the same log lines.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/cli/catalogue_commands.h"
#include "app/cli/cli_options.h"
#include "app/cli/contribute_run.h"
#include "app/cli/terminal_output.h"
#include "collector/catalogue.h"
#include "collector/crawl_log.h"
#include "collector/crawl_observer.h"
#include "collector/crawl_session.h"
#include "collector/log_texts.h"
#include "collector/storage.h"
#include "collector/video_downloads.h"
#include "platform/memory_form.h"
#include "platform/window_layout.h"
#include "web/ranged_downloader.h"

namespace pelvaro::cli {
namespace {

namespace mw = main_window;

constexpr int kExitDone = 0;
constexpr int kExitBadFlags = 2;
constexpr int kExitInterrupted = 130;

// Counts for the summary line; written by the crawl worker and the downloader's threads.
class RunCounters : public CrawlObserver {
 public:
  void onPresent() override { ++present; }
  void onRejected(RejectReason reason) override {
    ++rejected;
    ++byReason[static_cast<int>(reason)];
  }

  std::atomic<std::int64_t> taken{0}, present{0}, rejected{0}, failed{0}, bytes{0};
  std::atomic<std::int64_t> byReason[4] = {};
  std::mutex failureMutex;
  std::map<Text, std::int64_t> failedBy;  // failure reason (GBK) -> downloads
};

// Ends the run: a limit reached or a signal received.
struct RunEnd {
  std::mutex mutex;
  std::condition_variable changed;
  bool interrupted = false;
  bool limitReached = false;

  void set(bool& flag) {
    {
      std::lock_guard lock(mutex);
      flag = true;
    }
    changed.notify_all();
  }
};

void ApplyOptions(Form& form, const CliOptions& options) {
  form.setText(mw::kOutputFolder, DefaultOutputFolder());
  const Text all = Gbk(collector_text::kAllCategories);
  form.clearItems(mw::kCategoryBox);
  form.addItem(mw::kCategoryBox, all);
  form.setCurrentIndex(mw::kCategoryBox, 0);
  if (options.category && Utf8ToGbk(*options.category) != all) {
    form.addItem(mw::kCategoryBox, Utf8ToGbk(*options.category));
    form.setCurrentIndex(mw::kCategoryBox, 1);
  }
  for (const auto& [control, value] : options.controls) form.setText(control, Utf8ToGbk(value));
  if (options.categoryFolders) form.setChecked(mw::kNoSubfolders, false);
}

int Run(const CliOptions& options) {
  // Signals are taken by one thread with sigwait, so Ctrl-C never interrupts the crawl's
  // threads; they inherit this mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  RunEnd end;
  std::thread([&end, signals] {
    int received = 0;
    sigwait(&signals, &received);
    end.set(end.interrupted);
    // A second Ctrl-C does not wait for the crawl to wind down.
    sigwait(&signals, &received);
    std::_Exit(kExitInterrupted);
  }).detach();

  auto form = MemoryForm::MainWindow();
  ApplyOptions(*form, options);

  TerminalOutput output(isatty(STDERR_FILENO) == 1);
  form->setLineObserver([&output](std::string_view control, const Text& line) {
    if (control == mw::kLog) output.logLine(line);
  });
  form->setCellObserver([&output](RowHandle, int column, const Text& value) {
    if (column == mw::kColDownload) output.statusCell(value);
  });

  // Declared before the downloads: a download that ends writes its row into it.
  Catalogue catalogue(CataloguePath(), [&form](const Text& line) { AppendLog(*form, line); });
  if (options.retryFailed) catalogue.clearFailures();

  RunCounters counters;
  RangedDownloader downloader;
  VideoDownloads downloads(downloader);
  downloads.setEndListener([&](const VideoDownload& download) {
    if (download.state() == VideoDownload::State::Complete) {
      counters.bytes += download.bytes();
      if (++counters.taken >= options.maxVideos.value_or(INT64_MAX)) end.set(end.limitReached);
    } else {
      ++counters.failed;
      std::lock_guard lock(counters.failureMutex);
      ++counters.failedBy[download.failureText()];
    }
  });

  const auto started = std::chrono::steady_clock::now();
  CrawlSession session(CrawlContext{*form, downloads, CrawlTiming{}, &counters, &catalogue});
  session.Toggle();
  {
    std::unique_lock lock(end.mutex);
    const auto done = [&end] { return end.interrupted || end.limitReached; };
    if (options.maxSeconds) {
      if (!end.changed.wait_until(lock, started + std::chrono::seconds(*options.maxSeconds), done)) {
        end.limitReached = true;
      }
    } else {
      end.changed.wait(lock, done);
    }
  }
  session.Toggle();
  session.worker().Join();
  bool interrupted = false;
  {
    std::lock_guard lock(end.mutex);
    interrupted = end.interrupted;
  }
  // A limit ends the run politely: a download still running ends whole (renamed and marked).
  if (!interrupted) downloads.waitAll();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  std::printf(
      "summary taken=%lld present=%lld rejected=%lld failed=%lld bytes=%lld seconds=%.3f "
      "reject_category=%lld "
      "reject_date=%lld reject_duration=%lld reject_size=%lld\n",
      static_cast<long long>(counters.taken), static_cast<long long>(counters.present),
      static_cast<long long>(counters.rejected), static_cast<long long>(counters.failed),
      static_cast<long long>(counters.bytes), seconds,
      static_cast<long long>(counters.byReason[static_cast<int>(RejectReason::Category)]),
      static_cast<long long>(counters.byReason[static_cast<int>(RejectReason::Date)]),
      static_cast<long long>(counters.byReason[static_cast<int>(RejectReason::Duration)]),
      static_cast<long long>(counters.byReason[static_cast<int>(RejectReason::Size)]));
  {
    // Why downloads failed, on a line of its own, only when some did.
    std::lock_guard lock(counters.failureMutex);
    std::string reasons;
    for (const auto& [reason, count] : counters.failedBy) {
      reasons += (reasons.empty() ? "" : "; ") + GbkToUtf8(reason) + "=" + std::to_string(count);
    }
    if (!reasons.empty()) std::printf("failed_by_reason %s\n", reasons.c_str());
  }
  std::fflush(stdout);
  return interrupted ? kExitInterrupted : kExitDone;
}

}  // namespace
}  // namespace pelvaro::cli

int main(int argc, char** argv) {
  using namespace pelvaro::cli;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const ParseResult parsed = ParseCommandLine(arguments);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "pelvaro-cli: %s\nTry 'pelvaro-cli --help'.\n", parsed.error.c_str());
    return kExitBadFlags;
  }
  if (parsed.options.help) {
    std::fputs(std::string(UsageText()).c_str(), stdout);
    return kExitDone;
  }
  if (parsed.options.exportCsv) return ExportCsvCommand(*parsed.options.exportCsv);
  if (parsed.options.stats) return StatsCommand();
  if (parsed.options.contribute) return RunContribute(parsed.options);
  return Run(parsed.options);
}
