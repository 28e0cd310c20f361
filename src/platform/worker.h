#pragma once
// Background jobs. A worker is one thread with one job and one stop token. Stopping sets the
// token and returns at once: the caller (often the GUI thread) never waits for the worker.
// Every wait, control operation and transfer of the job checks the token of its own thread
// (StopRequested, WaitFor), so a stopped job unwinds promptly without further effects.

#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>

namespace pelvaro {

class Worker {
 public:
  Worker() = default;
  // Stops the job if it still runs and hands the thread to the reaper; never blocks.
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Starts job on a new thread; a job already running is stopped first (not waited for).
  void Start(std::function<void()> job);
  // Sets the stop token and returns; the thread unwinds on its own and is reaped later.
  void RequestStop();
  // True from Start until the job has returned.
  bool Running() const;
  // Waits until the job has returned (tests and the terminal front end; never the GUI thread).
  void Join();
  // The token of the current job (a default token when none was started).
  std::stop_token Token() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// The stop token of the calling thread: the worker's own, or the one a StopScope installed;
// a token that never stops on other threads.
std::stop_token CurrentStopToken();

// True when the calling thread's job was asked to stop.
bool StopRequested();

// Waits for the duration, or until the calling thread's job is asked to stop. On a thread that
// is no worker the wait goes through the GUI wait hook when one is installed for that thread
// (the window keeps working), otherwise it sleeps. Returns false when stopped.
bool WaitFor(std::chrono::milliseconds duration);

// Makes `token` the calling thread's stop token for the scope's lifetime (the terminal front
// end's main thread, tests).
class StopScope {
 public:
  explicit StopScope(std::stop_token token);
  ~StopScope();
  StopScope(const StopScope&) = delete;
  StopScope& operator=(const StopScope&) = delete;

 private:
  std::stop_token previous_;
  bool hadPrevious_;
};

// The UI layer installs this on the GUI thread: it runs a local event loop for the duration.
using GuiWaitHook = std::function<void(std::chrono::milliseconds)>;
void InstallGuiWaitHook(GuiWaitHook hook);  // for the calling thread

}  // namespace pelvaro
