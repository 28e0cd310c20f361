#include "web/ranged_downloader.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "web/block_fetcher.h"
#include "web/download_path.h"
#include "web/download_probe.h"
#include "web/download_task_list.h"
#include "web/file_writer.h"

namespace pelvaro {
namespace {

// Milliseconds since boot, as a 32-bit tick count.
std::uint32_t TickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

// The name the server gives the file: its Content-Location when it sends one that fits the
// old 255-byte buffer, else the URL's last segment. Redirects are not followed.
Text NameFromServer(const Text& url) {
  HeadProbe probe;
  probe.userAgent = Gbk("我的下载") + std::to_string(TickCount());
  probe.followRedirects = false;
  probe.stop = CurrentStopToken();
  std::optional<ResponseHead> head = FetchResponseHead(url, probe);
  std::optional<std::string> location = head ? head->Find("Content-Location") : std::nullopt;
  if (location && location->size() < 255) return DownloadNameFromLocation(*location);
  return DownloadNameFromLocation(url);
}

void ManageTask(const std::shared_ptr<DownloadTask>& task) {
  std::vector<std::thread> workers;
  for (int i = 0; i < task->WorkerCount(); ++i) {
    try {
      workers.emplace_back([task] { BlockFetcher(*task).Run(); });
    } catch (const std::system_error&) {
      task->Fail({FailureKind::Network, 0});
      break;
    }
  }
  for (auto& worker : workers) worker.join();
  // Every range came with the probed validator, yet a file overwritten in place keeps its
  // validator only until the writer is done: one more look after the last byte tells a file
  // of one version from a mixture.
  if (task->Complete()) {
    StopScope scope(task->StopToken());
    const DownloadFailure changed =
        ConfirmVersion(task->Url(), task->Probed(), task->StopToken(),
                       [&task](const std::string& line) { task->ReportRetry(line); });
    if (changed) task->Fail(changed);
  }
  task->Finish();
}

template <typename Action>
void ForTask(int number, Action action) {
  if (auto task = DownloadTaskList::Shared().Find(number)) action(*task);
}

template <typename Action>
void ForEveryTask(Action action) {
  for (const auto& task : DownloadTaskList::Shared().All()) action(*task);
}

}  // namespace

int RangedDownloader::Download(const Text& url, const Path& path, int threadLimit,
                               DownloadCallback callback) {
  return Download(url, path, threadLimit, std::move(callback), DownloadExtras{});
}

int RangedDownloader::Download(const Text& url, const Path& path, int threadLimit, DownloadCallback callback,
                               const DownloadExtras& extras) {
  DownloadTaskList& list = DownloadTaskList::Shared();
  const int number = list.Reserve();
  auto fail = [&](DownloadFailure failure) {
    list.Abandon(number, failure);
    if (extras.startFailure != nullptr) *extras.startFailure = failure;
    return -1;
  };

  const Path target(ResolveDownloadPath(path.bytes(), [&url] { return NameFromServer(url); }));
  SizeProbeResult probe = ProbeFileSize(url, CurrentStopToken(), extras.onRetry);
  if (!probe.file) return fail(probe.failure);

  if (extras.checkSize) {
    if (DownloadFailure refused = extras.checkSize(probe.file->size)) return fail(refused);
  }
  FileWriter file;
  const bool created = extras.folder >= 0
                           ? file.CreateAt(extras.folder, target.name().bytes(), probe.file->size)
                           : file.Create(target.bytes(), probe.file->size);
  if (!created) return fail(FileFailure(file.Error(), probe.file->size));
  const std::int64_t blocks = DownloadTask::BlockCount(probe.file->size);
  const int workers = static_cast<int>(std::clamp<std::int64_t>(threadLimit, 1, blocks));
  auto task = std::make_shared<DownloadTask>(number, url, std::move(*probe.file), workers,
                                             std::move(callback), std::move(file), extras.onRetry);
  std::thread manager;
  try {
    manager = std::thread([task] { ManageTask(task); });
  } catch (const std::system_error&) {
    if (extras.folder >= 0) {
      ::unlinkat(extras.folder, target.name().bytes().c_str(), 0);
    } else {
      RemoveFile(target);
    }
    return fail({FailureKind::Network, 0});
  }
  list.Fill(number, std::move(task), std::move(manager));
  return number;
}

void RangedDownloader::Pause(int task) {
  ForTask(task, [](DownloadTask& t) { t.SetState(DownloadTask::kPaused); });
}

void RangedDownloader::PauseAll() {
  ForEveryTask([](DownloadTask& t) { t.SetState(DownloadTask::kPaused); });
}

void RangedDownloader::Stop(int task) {
  ForTask(task, [](DownloadTask& t) { t.SetState(DownloadTask::kStopped); });
}

void RangedDownloader::StopAll() {
  ForEveryTask([](DownloadTask& t) { t.SetState(DownloadTask::kStopped); });
}

void RangedDownloader::Resume(int task) {
  ForTask(task, [](DownloadTask& t) { t.SetState(DownloadTask::kRunning); });
}

void RangedDownloader::ResumeAll() {
  ForEveryTask([](DownloadTask& t) { t.SetState(DownloadTask::kRunning); });
}

void RangedDownloader::StopThenResume(int task) {
  ForTask(task, [](DownloadTask& t) { t.StopThenResume(); });
}

void RangedDownloader::StopThenResumeAll() {
  ForEveryTask([](DownloadTask& t) { t.StopThenResume(); });
}

DownloadSnapshot RangedDownloader::Progress(int task) const { return DownloadTaskList::Shared().Snapshot(task); }

DownloadOutcome RangedDownloader::WaitForEnd(int task, std::chrono::milliseconds timeout,
                                             std::stop_token stop) const {
  auto found = DownloadTaskList::Shared().Find(task);
  return found ? found->WaitForEnd(timeout, std::move(stop)) : DownloadTaskList::Shared().Snapshot(task).outcome;
}

}  // namespace pelvaro
