#include "web/download_task_list.h"

#include <utility>

namespace pelvaro {

DownloadTaskList& DownloadTaskList::Shared() {
  static DownloadTaskList list;
  return list;
}

DownloadTaskList::~DownloadTaskList() {
  std::deque<Entry> entries;
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
  entry.pending = false;
}

void DownloadTaskList::Abandon(int number, DownloadFailure failure) {
  std::lock_guard lock(mutex_);
  Entry& entry = entries_.at(static_cast<std::size_t>(number - 1));
  entry.ended.failure = failure;
  entry.pending = false;
}

std::shared_ptr<DownloadTask> DownloadTaskList::Find(int number) const {
  std::lock_guard lock(mutex_);
  if (number < 1 || static_cast<std::size_t>(number) > entries_.size()) return nullptr;
  return entries_[static_cast<std::size_t>(number - 1)].task;
}

std::vector<std::shared_ptr<DownloadTask>> DownloadTaskList::All() const {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<DownloadTask>> tasks;
  for (std::size_t i = firstLive_; i < entries_.size(); ++i) {
    if (entries_[i].task) tasks.push_back(entries_[i].task);
  }
  return tasks;
}

DownloadSnapshot DownloadTaskList::Snapshot(int number) const {
  std::shared_ptr<DownloadTask> task;
  {
    std::lock_guard lock(mutex_);
    if (number < 1 || static_cast<std::size_t>(number) > entries_.size()) return DownloadSnapshot{};
    const Entry& entry = entries_[static_cast<std::size_t>(number - 1)];
    if (!entry.task) return entry.ended;
    task = entry.task;
  }
  return task->Snapshot();
}

// An ended task's manager has made its last call and only returns, so the join is brief. A
// manager never joins itself (a start made from its own final callback).
void DownloadTaskList::JoinEndedLocked() {
  bool allReleased = true;
  for (std::size_t i = firstLive_; i < entries_.size(); ++i) {
    Entry& entry = entries_[i];
    if (entry.manager.joinable() && entry.manager.get_id() != std::this_thread::get_id() &&
        entry.task->Ended()) {
      entry.manager.join();
    }
    if (entry.task && !entry.manager.joinable() && entry.task->Ended()) {
      entry.ended = entry.task->Snapshot();
      entry.task.reset();
    }
    // A failed start (no task, no thread) or a released entry stays as it is.
    if (entry.pending || entry.task || entry.manager.joinable()) allReleased = false;
    if (allReleased) firstLive_ = i + 1;
  }
}

}  // namespace pelvaro
