#include "platform/worker.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace pelvaro {
namespace {

thread_local std::optional<std::stop_token> tCurrentToken;
thread_local GuiWaitHook tGuiWaitHook;

// Joins finished or stopped worker threads off the caller's thread, so that stopping a worker
// never blocks the GUI thread. Threads still pending at exit are joined then.
class Reaper {
 public:
  static Reaper& Instance() {
    static Reaper reaper;
    return reaper;
  }

  void Adopt(std::thread thread) {
    if (!thread.joinable()) return;
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(thread));
    if (!running_) {
      running_ = true;
      if (reaper_.joinable()) reaper_.join();
      reaper_ = std::thread([this] { Loop(); });
    } else {
      wake_.notify_one();
    }
  }

  ~Reaper() {
    std::unique_lock lock(mutex_);
    closing_ = true;
    wake_.notify_one();
    lock.unlock();
    if (reaper_.joinable()) reaper_.join();
    for (auto& t : pending_) {
      if (t.joinable()) t.join();
    }
  }

 private:
  void Loop() {
    std::unique_lock lock(mutex_);
    while (!pending_.empty()) {
      std::thread t = std::move(pending_.back());
      pending_.pop_back();
      lock.unlock();
      if (t.joinable()) t.join();
      lock.lock();
    }
    running_ = false;
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<std::thread> pending_;
  std::thread reaper_;
  bool running_ = false;
  bool closing_ = false;
};

}  // namespace

struct Worker::State {
  std::stop_source source;
  std::thread thread;
  std::mutex mutex;
  std::condition_variable finishedChanged;
  bool finished = true;
};

Worker::~Worker() {
  if (!state_) return;
  state_->source.request_stop();
  std::thread thread;
  {
    std::lock_guard lock(state_->mutex);
    thread = std::move(state_->thread);
  }
  Reaper::Instance().Adopt(std::move(thread));
}

void Worker::Start(std::function<void()> job) {
  if (state_) {
    state_->source.request_stop();
    std::thread old;
    {
      std::lock_guard lock(state_->mutex);
      old = std::move(state_->thread);
    }
    Reaper::Instance().Adopt(std::move(old));
  }
  auto state = std::make_shared<State>();
  state->finished = false;
  std::stop_token token = state->source.get_token();
  std::lock_guard lock(state->mutex);
  state->thread = std::thread([state, token, job = std::move(job)] {
    tCurrentToken = token;
    job();
    std::lock_guard done(state->mutex);
    state->finished = true;
    state->finishedChanged.notify_all();
  });
  state_ = state;
}

void Worker::RequestStop() {
  if (state_) state_->source.request_stop();
}

bool Worker::Running() const {
  if (!state_) return false;
  std::lock_guard lock(state_->mutex);
  return !state_->finished;
}

void Worker::Join() {
  if (!state_) return;
  std::thread thread;
  {
    std::unique_lock lock(state_->mutex);
    state_->finishedChanged.wait(lock, [this] { return state_->finished; });
    thread = std::move(state_->thread);
  }
  if (thread.joinable()) thread.join();
}

std::stop_token Worker::Token() const { return state_ ? state_->source.get_token() : std::stop_token(); }

std::stop_token CurrentStopToken() { return tCurrentToken.value_or(std::stop_token()); }

bool StopRequested() { return tCurrentToken && tCurrentToken->stop_requested(); }

bool WaitFor(std::chrono::milliseconds duration) {
  if (tCurrentToken) {
    std::mutex mutex;
    std::condition_variable_any cv;
    std::unique_lock lock(mutex);
    cv.wait_for(lock, *tCurrentToken, duration, [] { return false; });
    return !tCurrentToken->stop_requested();
  }
  if (tGuiWaitHook) {
    tGuiWaitHook(duration);
    return true;
  }
  std::this_thread::sleep_for(duration);
  return true;
}

StopScope::StopScope(std::stop_token token) : hadPrevious_(tCurrentToken.has_value()) {
  if (hadPrevious_) previous_ = *tCurrentToken;
  tCurrentToken = std::move(token);
}

StopScope::~StopScope() {
  if (hadPrevious_) {
    tCurrentToken = previous_;
  } else {
    tCurrentToken.reset();
  }
}

void InstallGuiWaitHook(GuiWaitHook hook) { tGuiWaitHook = std::move(hook); }

}  // namespace pelvaro
