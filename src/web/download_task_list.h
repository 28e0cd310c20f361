#pragma once

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "web/download_task.h"

namespace pelvaro {

// Every task started by any downloader object of the process, in start order. A task's
// number is its 1-based place; a start that failed keeps its place with no task in it, so
// numbers stay in step with the calls. Records stay for the life of the process; the
// threads of ended tasks are joined as new tasks arrive and, at process end, after every
// task still running has been stopped.
class DownloadTaskList {
 public:
  static DownloadTaskList& Shared();

  ~DownloadTaskList();

  // Takes the next number for a start in progress.
  int Reserve();
  // Gives a reserved number its task and the thread that manages it.
  void Fill(int number, std::shared_ptr<DownloadTask> task, std::thread manager);
  // The task of a number; null for failed or pending starts and unknown numbers.
  std::shared_ptr<DownloadTask> Find(int number) const;
  std::vector<std::shared_ptr<DownloadTask>> All() const;

 private:
  struct Entry {
    std::shared_ptr<DownloadTask> task;
    std::thread manager;
  };
  DownloadTaskList() = default;
  void JoinEndedLocked();

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

}  // namespace pelvaro
