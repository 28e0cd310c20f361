#pragma once
// The shared state of one download: the blocks still to hand out, the byte count, the state
// that the control calls set, and the end that waiters wait for. Workers only fetch and write;
// every decision about which bytes come next is made here, under the task's lock.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

#include "web/download_failure.h"
#include "web/file_writer.h"

namespace pelvaro {

// (task number, code, total, done). Codes: kDownloadProgress with the file size and the bytes
// written so far; kDownloadFinished once with done equal to the size; kDownloadFailed once
// with 0, 0. A stopped task gets no final call.
using DownloadCallback = std::function<void(int task, int code, std::int64_t total, std::int64_t done)>;
inline constexpr int kDownloadProgress = 1;
inline constexpr int kDownloadFinished = 0;
inline constexpr int kDownloadFailed = -1;

// How a task ended, or that it has not.
enum class DownloadOutcome { Running, Finished, Failed, Stopped };

struct DownloadSnapshot {
  DownloadOutcome outcome = DownloadOutcome::Failed;
  int state = -1;  // one of DownloadTask::kRunning ... kFailed
  std::int64_t total = 0;
  std::int64_t done = 0;
  DownloadFailure failure;  // why a failed task failed (None while it runs or when unknown)
};

// What the size probe learnt about the file: every range must come from this version.
struct ProbedFile {
  std::int64_t size = 0;
  std::string etag;          // empty when the server sent none
  std::string lastModified;  // empty when the server sent none
  // The If-Range value: a strong ETag, else the Last-Modified date, else empty.
  std::string Validator() const;
};

// Told of every retry of a request with a line for the log (GBK), on the thread that retries.
using RetryListener = std::function<void(const std::string& line)>;

// One block of the file. `rangeEnd` is what the range request names as its end: the block's
// last byte, or for the last block the file size (one past its last byte; servers clamp it).
struct BlockSpan {
  std::int64_t number = 0;  // 1-based
  std::int64_t start = 0;
  std::int64_t rangeEnd = 0;
  std::int64_t length = 0;
};

class DownloadTask {
 public:
  static constexpr int kRunning = 0;
  static constexpr int kStopped = 1;
  static constexpr int kPaused = 2;
  static constexpr int kFailed = -1;
  static constexpr std::int64_t kBlockSize = 1048576;

  static std::int64_t BlockCount(std::int64_t size);
  static BlockSpan Block(std::int64_t number, std::int64_t size);

  DownloadTask(int number, std::string url, ProbedFile probed, int workerCount, DownloadCallback callback,
               FileWriter file, RetryListener retryListener = {});
  DownloadTask(const DownloadTask&) = delete;
  DownloadTask& operator=(const DownloadTask&) = delete;

  int Number() const { return number_; }
  const std::string& Url() const { return url_; }
  std::int64_t TotalSize() const { return totalSize_; }
  const ProbedFile& Probed() const { return probed_; }
  int WorkerCount() const { return workerCount_; }
  const FileWriter& File() const { return file_; }

  // Control, from any thread, including the progress callback. A failed or ended task keeps
  // its state: failure is final, and nothing is left to control after the end.
  void SetState(int state);
  // Ends every transfer in flight and lets the task run on: each worker asks again for the
  // rest of its block. No worker ever sees the task stopped, so none gives up its block.
  void StopThenResume();
  // Changes with every StopThenResume; a transfer started under another value is obsolete.
  std::uint64_t Interruptions() const { return interruptions_.load(std::memory_order_relaxed); }

  // Workers. TakeBlock hands out the next block in ascending order, waiting while the task
  // is paused; nullopt once the task is stopped or failed or every block is handed out.
  std::optional<BlockSpan> TakeBlock();
  // Counts bytes just written and reports progress under the report lock.
  void AddProgress(std::int64_t bytes);
  // Waits while paused; true when the task still runs afterwards.
  bool WaitWhilePaused();
  // Stopped or failed: a cheap test for the transport's callbacks.
  bool Cancelled() const;
  // Requested once the task is stopped or failed (for the requests of its manager).
  std::stop_token StopToken() const { return stopSource_.get_token(); }
  // Every byte arrived, and the task was neither stopped nor failed.
  bool Complete() const;
  // Fails the task; the first reason given is the one kept.
  void Fail(DownloadFailure failure = {FailureKind::Network, 0});
  // A byte of the file arrived (any worker).
  void NoteData();
  // How long no byte of the file has arrived, every worker and attempt together.
  std::chrono::steady_clock::duration Silence() const;
  // When the last byte of the file arrived (the task's start before the first).
  std::chrono::steady_clock::time_point LastData() const;
  // Whether the download has stayed under the lowest speed for the lowest-speed time, measured
  // from the last moment its average since the moment before was fast enough (every worker,
  // attempt and pause together). Checked by the workers at least once a second.
  bool TooSlow(std::int64_t bytesPerSecond, std::chrono::milliseconds time);
  // Waits `duration` before a retry; false when the task was stopped or failed meanwhile.
  bool PauseBeforeRetry(std::chrono::milliseconds duration);
  void ReportRetry(const std::string& line) const;

  // The manager, once every worker has ended: flushes a complete file to the disk, makes the
  // final call (with the file still open and locked, so the callback may rename it), closes
  // the file, lets go of the callback and wakes the waiters.
  void Finish();

  DownloadSnapshot Snapshot() const;
  // Waits until the task has ended, `timeout` has passed or `stop` is requested; returns the
  // outcome so far (Running when it has not ended).
  DownloadOutcome WaitForEnd(std::chrono::milliseconds timeout, std::stop_token stop);
  bool Ended() const;

 private:
  void SetStateLocked(int state);

  const int number_;
  std::string url_;
  const ProbedFile probed_;
  const std::int64_t totalSize_;
  const std::int64_t blockCount_;
  const int workerCount_;
  DownloadCallback callback_;  // released once the task has ended
  RetryListener retryListener_;
  FileWriter file_;
  std::atomic<std::chrono::steady_clock::rep> lastData_;
  std::stop_source stopSource_;

  mutable std::mutex mutex_;  // guards everything below but the mirror
  mutable std::condition_variable_any changed_;
  int state_ = kRunning;
  std::atomic<int> stateMirror_{kRunning};
  std::atomic<std::uint64_t> interruptions_{0};
  std::int64_t nextBlock_ = 0;  // blocks handed out so far
  std::int64_t bytesDone_ = 0;
  bool ended_ = false;
  DownloadOutcome outcome_ = DownloadOutcome::Running;
  DownloadFailure failure_;

  // Held while a progress report reads the byte count and calls out, so reports reach the
  // callback one at a time and in ascending order; control calls never take it.
  std::mutex reportMutex_;
  std::int64_t lastReported_ = 0;  // guarded by reportMutex_

  std::mutex speedMutex_;  // guards the two below
  std::chrono::steady_clock::time_point speedSince_;
  std::int64_t bytesAtSpeedSince_ = 0;
};

}  // namespace pelvaro
