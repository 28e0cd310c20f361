#pragma once
// Ctrl-C and SIGTERM for pelvaro-cli. The signals are blocked in every thread and read by one
// thread of this object through a signal descriptor, so no handler ever interrupts the crawl's
// threads and nothing runs in signal context. The object joins its thread when it goes: the
// handler never runs after the objects it refers to (declared before it) have gone.

#include <atomic>
#include <functional>
#include <thread>

namespace pelvaro::cli {

class StopSignals {
 public:
  // Called on the signal thread for the first SIGINT or SIGTERM. A second signal of either kind
  // ends the process at once with 128 + its number, for a wind-down that does not end.
  using Handler = std::function<void(int signal)>;

  // Blocks the signals in the calling thread; create it before any other thread is started, so
  // that they inherit the mask.
  explicit StopSignals(Handler handler);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The first signal received, 0 when none came.
  int received() const { return received_.load(); }

 private:
  void Watch();

  Handler handler_;
  int signalFd_ = -1;
  int wakeFd_ = -1;
  std::atomic<int> received_{0};
  std::thread thread_;
};

// The exit status after a signal: 130 for SIGINT, 143 for SIGTERM.
int SignalExitStatus(int signal);

}  // namespace pelvaro::cli
