#include "app/cli/contribute_run.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "app/cli/stop_signals.h"
#include "app/cli/terminal_output.h"
#include "collector/contribute_session.h"
#include "platform/memory_form.h"

namespace pelvaro::cli {
namespace {

class ContributeEnd : public ContributeObserver {
 public:
  ContributeEnd(std::int64_t maxReports, TerminalOutput& output) : maxReports_(maxReports), output_(output) {}

  void onReported(const Text& docid, const Text& category, const Text& reply) override {
    output_.line("reported " + GbkToUtf8(docid) + " " + GbkToUtf8(category) + ": " + GbkToUtf8(reply));
    if (++reported >= maxReports_) {
      // Stopped here, on the worker's own thread, so that no report beyond the limit is sent.
      worker->RequestStop();
      finish(true, 0);
    }
  }
  void onInHistory(const Text&) override { ++inHistory; }
  void onPassDone(int entries) override {
    ++passes;
    // The job asks the same article again and again; a user watching should know why nothing
    // happens (said once for each run of empty answers).
    if (entries == 0 && !emptyAnswers_.exchange(true)) {
      output_.error("pelvaro-cli: the seed link gave no related videos; asking again every few seconds");
    } else if (entries > 0) {
      emptyAnswers_ = false;
    }
  }

  void finish(bool limit, int received) {
    {
      std::lock_guard lock(mutex);
      if (limit) limitReached = true;
      if (received != 0 && signal == 0) signal = received;
    }
    changed.notify_all();
  }

  std::atomic<std::int64_t> reported{0}, inHistory{0}, passes{0};
  std::mutex mutex;
  std::condition_variable changed;
  int signal = 0;
  bool limitReached = false;
  Worker* worker = nullptr;  // the session's, set before the session starts

 private:
  std::int64_t maxReports_;
  TerminalOutput& output_;
  std::atomic<bool> emptyAnswers_{false};
};

}  // namespace

int RunContribute(const CliOptions& options) {
  TerminalOutput output(TerminalOutput::ModeFor(options.log, options.quiet));
  ContributeEnd state(options.maxVideos.value_or(INT64_MAX), output);
  // Before any other thread starts (they inherit the blocked signals), after what its handler
  // touches (it is joined before they go).
  StopSignals signals([&state](int signal) { state.finish(false, signal); });
  auto form = MemoryForm::MainWindow();
  for (const auto& [control, value] : options.controls) form->setText(control, Utf8ToGbk(value));

  ContributeSession session(*form, ContributeTiming{}, &state);
  state.worker = &session.worker();

  const auto started = std::chrono::steady_clock::now();
  session.Toggle();
  {
    std::unique_lock lock(state.mutex);
    const auto done = [&state] { return state.signal != 0 || state.limitReached; };
    if (options.maxSeconds) {
      if (!state.changed.wait_until(lock, started + std::chrono::seconds(*options.maxSeconds), done)) {
        state.limitReached = true;
      }
    } else {
      state.changed.wait(lock, done);
    }
  }
  session.Toggle();
  session.worker().Join();
  int signal = 0;
  {
    std::lock_guard lock(state.mutex);
    signal = state.signal;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  output.finish();
  if (options.json) {
    std::printf(
        "{\"summary\": {\"reported\": %lld, \"in_history\": %lld, \"passes\": %lld, \"seconds\": %.3f}}\n",
        static_cast<long long>(state.reported.load()), static_cast<long long>(state.inHistory.load()),
        static_cast<long long>(state.passes.load()), seconds);
  } else {
    std::printf("summary reported=%lld in_history=%lld passes=%lld seconds=%.3f\n",
                static_cast<long long>(state.reported.load()), static_cast<long long>(state.inHistory.load()),
                static_cast<long long>(state.passes.load()), seconds);
  }
  std::fflush(stdout);
  return signal != 0 ? SignalExitStatus(signal) : kExitDone;
}

}  // namespace pelvaro::cli
