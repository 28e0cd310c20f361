#include "collector/video_downloads.h"

#include <atomic>
#include <map>
#include <set>
#include <utility>

#include "collector/log_texts.h"
#include "collector/storage.h"
#include "platform/files.h"
#include "platform/partial_files.h"
#include "platform/worker.h"
#include "web/ranged_downloader.h"

namespace pelvaro {

namespace {
constexpr int kThreadsPerVideo = 2;
Text PartPath(const Text& path) { return path + ".part"; }
}  // namespace

struct VideoDownloads::Shared {
  std::mutex mutex;
  std::condition_variable idle;
  std::multiset<Text> paths;
  std::multiset<Text> docids;
  std::map<std::shared_ptr<VideoDownload>, int> tasks;  // running downloads and their task numbers
  EndListener listener;
  std::atomic<std::int64_t> received{0};
};

VideoDownload::State VideoDownload::state() const {
  std::lock_guard lock(mutex_);
  return state_;
}

double VideoDownload::fraction() const {
  std::lock_guard lock(mutex_);
  if (state_ == State::Complete) return 1.0;
  return total_ > 0 ? static_cast<double>(done_) / static_cast<double>(total_) : 0.0;
}

std::int64_t VideoDownload::bytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

DownloadFailure VideoDownload::failure() const {
  std::lock_guard lock(mutex_);
  return failure_;
}

Text VideoDownload::failureText() const { return FailureText(failure()); }

bool VideoDownload::setLateListener(LateListener listener) {
  std::lock_guard lock(mutex_);
  if (state_ != State::Running) return false;
  late_ = std::move(listener);
  return true;
}

bool VideoDownload::waitFor(std::chrono::milliseconds duration) const {
  std::stop_token token = CurrentStopToken();
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, token, duration, [this] { return state_ != State::Running; });
  return !token.stop_requested();
}

VideoDownloads::VideoDownloads(RangedDownloader& downloader)
    : downloader_(downloader), shared_(std::make_shared<Shared>()) {}

VideoDownloads::~VideoDownloads() {
  std::map<std::shared_ptr<VideoDownload>, int> running;
  {
    std::lock_guard lock(shared_->mutex);
    running = shared_->tasks;
  }
  for (const auto& [download, task] : running) {
    downloader_.Stop(task);
    RemoveFile(PartPath(download->path()));
  }
}

void VideoDownloads::setEndListener(EndListener listener) {
  std::lock_guard lock(shared_->mutex);
  shared_->listener = std::move(listener);
}

DownloadFailure CommitVideoFile(const Text& partPath, const Text& path, const Text& docid) {
  if (!RenameNoReplace(partPath, path)) {
    return {PathExists(path) ? FailureKind::FileExists : FailureKind::DiskError, 0};
  }
  const auto slash = path.rfind('/');
  if (!SyncFolder(slash == Text::npos ? Text(".") : path.substr(0, slash))) {
    // The rename may not survive a power cut, so no marker may say that it did.
    RemoveFile(path);
    return {FailureKind::DiskError, 0};
  }
  RecordHistory(docid);
  return {};
}

int RemoveLeftoverPartials(const Text& outputFolder, bool withSubfolders) {
  const Text portrait = Gbk(collector_text::kPortraitFolder);
  int removed = RemoveLeftoverPartials(outputFolder);
  if (!withSubfolders) return removed + RemoveLeftoverPartials(JoinPath(outputFolder, portrait));
  for (const Text& sub : ListFolders(outputFolder)) {
    const Text folder = JoinPath(outputFolder, sub);
    removed += RemoveLeftoverPartials(folder);
    if (sub != portrait) removed += RemoveLeftoverPartials(JoinPath(folder, portrait));
  }
  return removed;
}

void VideoDownloads::Finish(const std::shared_ptr<Shared>& shared,
                            const std::shared_ptr<VideoDownload>& download, const EndListener& onEnd,
                            DownloadFailure failure, std::int64_t total, bool report) {
  {
    std::lock_guard lock(download->mutex_);
    if (download->state_ != VideoDownload::State::Running) return;
  }
  const Text part = PartPath(download->path());
  // Only a file of the announced size becomes a video, and only a video gets its marker.
  if (!failure && (total <= 0 || FileSizeBytes(part) != static_cast<std::uint64_t>(total))) {
    failure = {FailureKind::LengthMismatch, 0};
  }
  if (!failure) failure = CommitVideoFile(part, download->path(), download->docid());
  // A start that failed because the file exists leaves that file alone.
  if (failure && failure.kind != FailureKind::FileExists) RemoveFile(part);
  VideoDownload::LateListener late;
  {
    std::lock_guard lock(download->mutex_);
    download->state_ = failure ? VideoDownload::State::Failed : VideoDownload::State::Complete;
    download->bytes_ = failure ? 0 : total;
    download->failure_ = failure;
    late = std::move(download->late_);
  }
  download->changed_.notify_all();
  if (onEnd && report) onEnd(*download);
  EndListener listener;
  {
    std::lock_guard lock(shared->mutex);
    shared->paths.erase(shared->paths.find(download->path()));
    shared->docids.erase(shared->docids.find(download->docid()));
    shared->tasks.erase(download);
    listener = shared->listener;
  }
  shared->idle.notify_all();
  if (listener && report) listener(*download);
  if (late && report) late(*download);
}

std::shared_ptr<VideoDownload> VideoDownloads::start(const Text& url, const Text& path, const Text& docid,
                                                     RetryLog retryLog, EndListener onEnd) {
  std::shared_ptr<VideoDownload> download(new VideoDownload(path, docid));
  {
    std::lock_guard lock(shared_->mutex);
    shared_->paths.insert(path);
    shared_->docids.insert(docid);
  }
  const Text part = PartPath(path);
  RemoveUnlockedPartialFile(part);  // a partial file of an earlier run that was cut off
  auto shared = shared_;
  RangedDownloader* downloader = &downloader_;
  auto callback = [shared, download, downloader, onEnd](int task, int code, std::int64_t total, std::int64_t done) {
    if (code == kDownloadProgress) {
      std::int64_t moved = 0;
      {
        std::lock_guard lock(download->mutex_);
        moved = done - download->done_;
        download->total_ = total;
        download->done_ = done;
      }
      if (moved > 0) shared->received.fetch_add(moved, std::memory_order_relaxed);
      download->changed_.notify_all();
    } else if (code == kDownloadFinished && done == total) {
      Finish(shared, download, onEnd, {}, total);
    } else {
      DownloadFailure failure = downloader->Progress(task).failure;
      if (!failure) failure = {FailureKind::LengthMismatch, 0};
      Finish(shared, download, onEnd, failure, total);
    }
  };
  DownloadFailure startFailure;
  DownloadExtras extras;
  extras.startFailure = &startFailure;
  if (retryLog) extras.onRetry = [retryLog](const std::string& line) { retryLog(line); };
  const int task = downloader_.Download(url, part, kThreadsPerVideo, callback, extras);
  if (task < 0) {
    // A start cut short by a stop is no failure to count.
    if (!startFailure) startFailure = {FailureKind::Network, 0};
    Finish(shared_, download, onEnd, startFailure, 0, !StopRequested());
  } else {
    std::lock_guard lock(shared_->mutex);
    if (download->state() == VideoDownload::State::Running) shared_->tasks[download] = task;
  }
  return download;
}

bool VideoDownloads::writes(const Text& path) const {
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->paths.count(path) > 0) return true;
  }
  return PartialFileLocked(PartPath(path));
}

bool VideoDownloads::takes(const Text& docid) const {
  std::lock_guard lock(shared_->mutex);
  return shared_->docids.count(docid) > 0;
}

std::int64_t VideoDownloads::bytesReceived() const {
  return shared_->received.load(std::memory_order_relaxed);
}

void VideoDownloads::waitAll() const {
  std::unique_lock lock(shared_->mutex);
  shared_->idle.wait(lock, [this] { return shared_->paths.empty(); });
}

bool VideoDownloads::waitAllFor(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(shared_->mutex);
  return shared_->idle.wait_for(lock, timeout, [this] { return shared_->paths.empty(); });
}

std::vector<Text> VideoDownloads::stopAll() {
  std::map<std::shared_ptr<VideoDownload>, int> running;
  {
    std::lock_guard lock(shared_->mutex);
    running = shared_->tasks;
  }
  std::vector<Text> stopped;
  for (const auto& [download, task] : running) {
    downloader_.Stop(task);
    // Once the task has ended no final call can still be under way: the download was either
    // ended by that call or is still ours to end here.
    downloader_.WaitForEnd(task, std::chrono::seconds(5), std::stop_token());
    if (download->state() != VideoDownload::State::Running) continue;
    stopped.push_back(download->docid());
    // Stopped, not failed: neither counted nor recorded as a failure.
    Finish(shared_, download, {}, {FailureKind::Network, 0}, 0, false);
  }
  return stopped;
}

}  // namespace pelvaro
