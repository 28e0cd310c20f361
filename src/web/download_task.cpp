#include "web/download_task.h"

#include <utility>

namespace pelvaro {

std::int64_t DownloadTask::BlockCount(std::int64_t size) {
  if (size <= 0) return 0;
  return size / kBlockSize + (size % kBlockSize != 0 ? 1 : 0);
}

BlockSpan DownloadTask::Block(std::int64_t number, std::int64_t size) {
  BlockSpan block;
  block.number = number;
  block.start = kBlockSize * (number - 1);
  if (number == BlockCount(size)) {
    block.rangeEnd = size;
    block.length = size - block.start;
  } else {
    block.rangeEnd = kBlockSize * number - 1;
    block.length = kBlockSize;
  }
  return block;
}

std::string ProbedFile::Validator() const {
  if (!etag.empty() && etag.rfind("W/", 0) != 0) return etag;
  return lastModified;
}

DownloadTask::DownloadTask(int number, std::string url, ProbedFile probed, int workerCount,
                           DownloadCallback callback, FileWriter file, RetryListener retryListener)
    : number_(number),
      url_(std::move(url)),
      probed_(std::move(probed)),
      totalSize_(probed_.size),
      blockCount_(BlockCount(totalSize_)),
      workerCount_(workerCount),
      callback_(std::move(callback)),
      retryListener_(std::move(retryListener)),
      file_(std::move(file)),
      lastData_(std::chrono::steady_clock::now().time_since_epoch().count()),
      speedSince_(std::chrono::steady_clock::now()) {}

void DownloadTask::SetStateLocked(int state) {
  if (ended_ || state_ == kFailed) return;
  state_ = state;
  stateMirror_.store(state, std::memory_order_relaxed);
  if (state == kStopped || state == kFailed) stopSource_.request_stop();
  changed_.notify_all();
}

void DownloadTask::SetState(int state) {
  std::lock_guard lock(mutex_);
  SetStateLocked(state);
}

void DownloadTask::StopThenResume() {
  std::lock_guard lock(mutex_);
  if (ended_ || state_ == kFailed) return;
  interruptions_.fetch_add(1, std::memory_order_relaxed);
  SetStateLocked(kRunning);
}

std::optional<BlockSpan> DownloadTask::TakeBlock() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return state_ != kPaused; });
  if (state_ != kRunning || nextBlock_ >= blockCount_) return std::nullopt;
  return Block(++nextBlock_, totalSize_);
}

void DownloadTask::AddProgress(std::int64_t bytes) {
  {
    std::lock_guard lock(mutex_);
    bytesDone_ += bytes;
  }
  std::lock_guard report(reportMutex_);
  std::int64_t done = 0;
  {
    std::lock_guard lock(mutex_);
    if (state_ == kStopped || state_ == kFailed) return;
    done = bytesDone_;
  }
  // Two workers may both read the other's bytes; report each amount once, always growing.
  if (done <= lastReported_) return;
  lastReported_ = done;
  if (callback_) callback_(number_, kDownloadProgress, totalSize_, done);
}

bool DownloadTask::WaitWhilePaused() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return state_ != kPaused; });
  return state_ == kRunning;
}

bool DownloadTask::Cancelled() const {
  int state = stateMirror_.load(std::memory_order_relaxed);
  return state == kStopped || state == kFailed;
}

void DownloadTask::Fail(DownloadFailure failure) {
  std::lock_guard lock(mutex_);
  if (ended_ || state_ == kFailed) return;
  failure_ = failure;
  SetStateLocked(kFailed);
}

void DownloadTask::NoteData() {
  lastData_.store(std::chrono::steady_clock::now().time_since_epoch().count(), std::memory_order_relaxed);
}

std::chrono::steady_clock::time_point DownloadTask::LastData() const {
  return std::chrono::steady_clock::time_point(
      std::chrono::steady_clock::duration(lastData_.load(std::memory_order_relaxed)));
}

bool DownloadTask::TooSlow(std::int64_t bytesPerSecond, std::chrono::milliseconds time) {
  std::int64_t done = 0;
  {
    std::lock_guard lock(mutex_);
    done = bytesDone_;
  }
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard lock(speedMutex_);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - speedSince_);
  // Fast enough on average since the last such moment: measure afresh from now.
  if ((done - bytesAtSpeedSince_) * 1000 >= bytesPerSecond * elapsed.count()) {
    speedSince_ = now;
    bytesAtSpeedSince_ = done;
    return false;
  }
  return elapsed >= time;
}

bool DownloadTask::Complete() const {
  std::lock_guard lock(mutex_);
  return state_ != kFailed && state_ != kStopped && bytesDone_ == totalSize_;
}

std::chrono::steady_clock::duration DownloadTask::Silence() const {
  const std::chrono::steady_clock::duration last(lastData_.load(std::memory_order_relaxed));
  return std::chrono::steady_clock::now().time_since_epoch() - last;
}

bool DownloadTask::PauseBeforeRetry(std::chrono::milliseconds duration) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, duration, [this] { return state_ == kStopped || state_ == kFailed; });
  return state_ != kStopped && state_ != kFailed;
}

void DownloadTask::ReportRetry(const std::string& line) const {
  if (retryListener_) retryListener_(line);
}

void DownloadTask::Finish() {
  bool complete = false;
  {
    std::lock_guard lock(mutex_);
    complete = state_ != kFailed && state_ != kStopped && bytesDone_ == totalSize_;
  }
  // A complete file reaches the disk before anyone may rename it or mark it as done.
  if (complete && !file_.Sync()) Fail(FileFailure(file_.Error(), 0));
  DownloadOutcome outcome;
  std::int64_t done = 0;
  {
    std::lock_guard lock(mutex_);
    done = bytesDone_;
    if (state_ == kFailed) {
      outcome = DownloadOutcome::Failed;
    } else if (state_ != kStopped && done == totalSize_) {
      outcome = DownloadOutcome::Finished;
    } else {
      // Only a stop leaves blocks unfetched without a failure; a resume that came after
      // every worker had already left does not revive the task.
      outcome = DownloadOutcome::Stopped;
      state_ = kStopped;
      stateMirror_.store(kStopped, std::memory_order_relaxed);
    }
  }
  if (callback_) {
    if (outcome == DownloadOutcome::Failed) callback_(number_, kDownloadFailed, 0, 0);
    if (outcome == DownloadOutcome::Finished) callback_(number_, kDownloadFinished, totalSize_, done);
  }
  file_.Close();
  // Whatever the callback holds (often its caller's state) goes now, not with the record.
  callback_ = nullptr;
  retryListener_ = nullptr;
  std::string().swap(url_);
  std::lock_guard lock(mutex_);
  ended_ = true;
  outcome_ = outcome;
  changed_.notify_all();
}

DownloadSnapshot DownloadTask::Snapshot() const {
  std::lock_guard lock(mutex_);
  return DownloadSnapshot{outcome_, state_, totalSize_, bytesDone_, failure_};
}

DownloadOutcome DownloadTask::WaitForEnd(std::chrono::milliseconds timeout, std::stop_token stop) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, stop, timeout, [this] { return ended_; });
  return outcome_;
}

bool DownloadTask::Ended() const {
  std::lock_guard lock(mutex_);
  return ended_;
}

}  // namespace pelvaro
