#include "app/cli/contribute_run.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "collector/contribute_session.h"
#include "platform/memory_form.h"

namespace pelvaro::cli {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitInterrupted = 130;

class ContributeEnd : public ContributeObserver {
 public:
  explicit ContributeEnd(std::int64_t maxReports) : maxReports_(maxReports) {}

  void onReported(const Text& docid, const Text& category, const Text& reply) override {
    std::fprintf(stderr, "reported %s %s: %s\n", GbkToUtf8(docid).c_str(), GbkToUtf8(category).c_str(),
                 GbkToUtf8(reply).c_str());
    if (++reported >= maxReports_) {
      // Stopped here, on the worker's own thread, so that no report beyond the limit is sent.
      worker->RequestStop();
      finish(limitReached);
    }
  }
  void onInHistory(const Text&) override { ++inHistory; }
  void onPassDone(int) override { ++passes; }

  void finish(bool& flag) {
    {
      std::lock_guard lock(mutex);
      flag = true;
    }
    changed.notify_all();
  }

  std::atomic<std::int64_t> reported{0}, inHistory{0}, passes{0};
  std::mutex mutex;
  std::condition_variable changed;
  bool interrupted = false;
  bool limitReached = false;
  Worker* worker = nullptr;  // the session's, set before the session starts

 private:
  std::int64_t maxReports_;
};

}  // namespace

int RunContribute(const CliOptions& options) {
  // As in the crawl: one thread takes the stop signals; every other thread inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  auto form = MemoryForm::MainWindow();
  for (const auto& [control, value] : options.controls) form->setText(control, Utf8ToGbk(value));

  ContributeEnd state(options.maxVideos.value_or(INT64_MAX));
  ContributeSession session(*form, ContributeTiming{}, &state);
  state.worker = &session.worker();

  std::thread([&state, signals] {
    int received = 0;
    sigwait(&signals, &received);
    state.finish(state.interrupted);
  }).detach();

  const auto started = std::chrono::steady_clock::now();
  session.Toggle();
  {
    std::unique_lock lock(state.mutex);
    const auto done = [&state] { return state.interrupted || state.limitReached; };
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
  bool interrupted = false;
  {
    std::lock_guard lock(state.mutex);
    interrupted = state.interrupted;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("summary reported=%lld in_history=%lld passes=%lld seconds=%.3f\n",
              static_cast<long long>(state.reported.load()), static_cast<long long>(state.inHistory.load()),
              static_cast<long long>(state.passes.load()), seconds);
  std::fflush(stdout);
  return interrupted ? kExitInterrupted : kExitDone;
}

}  // namespace pelvaro::cli
