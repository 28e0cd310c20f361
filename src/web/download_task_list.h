#pragma once

#include <memory>
#include <mutex>
#include <thread>
#include <deque>
#include <vector>

#include "web/download_task.h"

namespace pelvaro {

// Every task started by any downloader object of the process, in start order. A task's
// number is its 1-based place; a start that failed keeps its place with no task in it, so
// numbers stay in step with the calls. The threads of ended tasks are joined as new tasks
// arrive and, at process end, after every task still running has been stopped. An ended and
// joined task keeps only its final snapshot (a few bytes), so a process that downloads for
// days keeps its memory.
class DownloadTaskList {
 public:
  static DownloadTaskList& Shared();

  ~DownloadTaskList();

  // Takes the next number for a start in progress.
  int Reserve();
  // Gives a reserved number its task and the thread that manages it.
  void Fill(int number, std::shared_ptr<DownloadTask> task, std::thread manager);
  // Records a reserved number whose start failed, and why.
  void Abandon(int number, DownloadFailure failure);
  // The task of a number; null for failed or pending starts and unknown numbers.
  std::shared_ptr<DownloadTask> Find(int number) const;
  std::vector<std::shared_ptr<DownloadTask>> All() const;
  // The snapshot of a number: the live task's, an ended task's last one, or failed.
  DownloadSnapshot Snapshot(int number) const;

 private:
  struct Entry {
    std::shared_ptr<DownloadTask> task;
    std::thread manager;
    DownloadSnapshot ended;  // once task is released
    bool pending = true;     // reserved, neither filled nor abandoned yet
  };
  DownloadTaskList() = default;
  void JoinEndedLocked();

  mutable std::mutex mutex_;
  std::deque<Entry> entries_;  // a deque grows without copying its entries
  std::size_t firstLive_ = 0;  // entries before this one are all released
};

}  // namespace pelvaro
