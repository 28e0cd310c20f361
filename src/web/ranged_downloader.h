#pragma once
// Downloads one remote file straight into a local file over several connections, each
// fetching 1 MiB blocks by range requests.
//
// Threads. `Download` runs on the caller's thread only for the start (the path, a size probe,
// creating the file at its full length) and returns; the transfer then runs on one manager
// thread and up to `threadLimit` worker threads of the task. Every other method may be called
// from any thread, at any time, with any number: unknown numbers, failed starts and ended
// tasks are safe and change nothing.
//
// Callback. Progress calls come from a worker thread while the task's report lock is held:
// one at a time per task, with `done` never decreasing. The final call (finished or failed)
// comes from the manager thread after every worker has ended, without any lock, and before
// waiters are woken, with the file flushed (when finished) and still open and locked, so it
// may rename or delete the file before another copy of the program could take it for a
// leftover. After the final call the task lets go of the callback. The callback may call every method
// here (the control methods never take the report lock) but must not wait for its own task
// to end, which cannot happen while the callback runs.
//
// Network. Every connection must open within the connect limit; an attempt without a byte for
// the no-data limit is aborted, a download without a new byte for the stall limit fails, and
// so does one that stays under the lowest speed (1 KiB/s) for the lowest-speed time, without
// being asked again (TransferLimits). Broken, refused and silent transfers are asked again
// for their remaining bytes (RetryBudget: a few attempts, renewed by an attempt that brought
// data, no attempt or pause past the stall limit). Every range must come from the version of
// the file the probe saw (size, ETag, Last-Modified, sent as If-Range), and after the last
// byte a conditional request must find that version still there, else the task fails: a file
// is never completed from two versions, also not one overwritten in place. A server that
// gives no validator at all is held to the probed size only.
//
// Stopping. A stop ends the task's transfers at their next progress check (within about a
// second even on a silent connection), without a final call. Stopping the caller's own worker
// does not cancel a started download: only the probes that run inside `Download` listen to
// the calling thread's stop token.

#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>

#include "platform/path.h"
#include "platform/text.h"
#include "platform/worker.h"
#include "web/download_task.h"

namespace pelvaro {

struct DownloadExtras {
  DownloadFailure* startFailure = nullptr;  // receives why a start failed
  RetryListener onRetry;                    // hears of every retry of the probe and the blocks
  // An open folder (a descriptor) in which the file, named by the last part of the path, is
  // created, instead of following the path's folders; -1 for none. Used only while Download runs.
  int folder = -1;
  // Told the size the probe found before the file is created: a failure it returns fails the
  // start with that reason, and no file is made. The transfer never writes more than that size.
  std::function<DownloadFailure(std::int64_t size)> checkSize;
};

class RangedDownloader {
 public:
  // Starts downloading `url` into `path` (a path without extension names a folder, see
  // ResolveDownloadPath) with at most `threadLimit` connections (at least 1, at most one per
  // block). Returns the task number (1-based, shared by all downloader objects), or -1 when
  // the start failed: the size probe found no 2xx answer with a usable Content-Length (after
  // its retries), or the file exists or cannot be created with its space reserved. A failed
  // start also uses up a number and gets no callback.
  int Download(const Text& url, const Path& path, int threadLimit, DownloadCallback callback);
  // The same with what the caller may want to know beyond the callback's four values.
  int Download(const Text& url, const Path& path, int threadLimit, DownloadCallback callback,
               const DownloadExtras& extras);

  void Pause(int task);
  void PauseAll();
  void Stop(int task);
  void StopAll();
  void Resume(int task);
  void ResumeAll();
  // Ends the transfers in flight and lets the task run on (a paused task too): each worker
  // asks again for the rest of its block, so nothing is lost and nothing ends the task.
  void StopThenResume(int task);
  void StopThenResumeAll();

  // The task's state and byte counts, and why it failed; a failed start or unknown number
  // reads as failed. Also valid from the task's own final callback.
  DownloadSnapshot Progress(int task) const;
  // Waits until the task has ended, `timeout` has passed or `stop` is requested, and returns
  // the outcome (Running when it has not ended yet). A failed start or unknown number returns
  // Failed at once.
  DownloadOutcome WaitForEnd(int task, std::chrono::milliseconds timeout,
                             std::stop_token stop = CurrentStopToken()) const;
};

}  // namespace pelvaro
