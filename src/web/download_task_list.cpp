#include "web/download_task_list.h"

#include <utility>

namespace pelvaro {

DownloadTaskList& DownloadTaskList::Shared() {
  static DownloadTaskList list;
  return list;
}

DownloadTaskList::~DownloadTaskList() {
  std::vector<Entry> entries;
  {
    std::lock_guard lock(mutex_);
    entries.swap(entries_);
  }
  for (auto& entry : entries) {
    if (entry.task) entry.task->SetState(DownloadTask::kStopped);
  }
  for (auto& entry : entries) {
    if (entry.manager.joinable()) entry.manager.join();
  }
}

int DownloadTaskList::Reserve() {
  std::lock_guard lock(mutex_);
  JoinEndedLocked();
  entries_.emplace_back();
  return static_cast<int>(entries_.size());
}

void DownloadTaskList::Fill(int number, std::shared_ptr<DownloadTask> task, std::thread manager) {
  std::lock_guard lock(mutex_);
  Entry& entry = entries_.at(static_cast<std::size_t>(number - 1));
  entry.task = std::move(task);
  entry.manager = std::move(manager);
}

std::shared_ptr<DownloadTask> DownloadTaskList::Find(int number) const {
  std::lock_guard lock(mutex_);
  if (number < 1 || static_cast<std::size_t>(number) > entries_.size()) return nullptr;
  return entries_[static_cast<std::size_t>(number - 1)].task;
}

std::vector<std::shared_ptr<DownloadTask>> DownloadTaskList::All() const {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<DownloadTask>> tasks;
  for (const auto& entry : entries_) {
    if (entry.task) tasks.push_back(entry.task);
  }
  return tasks;
}

// An ended task's manager has made its last call and only returns, so the join is brief. A
// manager never joins itself (a start made from its own final callback).
void DownloadTaskList::JoinEndedLocked() {
  for (auto& entry : entries_) {
    if (entry.manager.joinable() && entry.manager.get_id() != std::this_thread::get_id() &&
        entry.task->Ended()) {
      entry.manager.join();
    }
  }
}

}  // namespace pelvaro
