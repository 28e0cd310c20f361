#include "collector/video_downloads.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
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

DownloadFailure FolderFailure(int error) {
  return {error == ELOOP || error == ENOTDIR ? FailureKind::FolderIsLink : FailureKind::DiskError, error};
}

// The partial file of a download, in its own folder; nothing when the folder never opened.
void RemovePartialFile(const std::shared_ptr<const FolderHandle>& folder, const Text& name) {
  if (folder && folder->valid()) folder->Remove(PartialNameFor(name));
}

// The size of a regular file in the folder (a link is none); -1 when there is none.
std::int64_t RegularFileSize(const FolderHandle& folder, const Text& name) {
  struct stat st {};
  if (::fstatat(folder.fd(), NativePath(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(st.st_mode)) {
    return -1;
  }
  return st.st_size;
}

}  // namespace

Text VideoPlace::path() const {
  Text path = outputFolder;
  for (const Text& folder : subfolders) path = JoinPath(path, folder);
  return JoinPath(path, fileName);
}

struct VideoDownloads::Shared {
  std::mutex mutex;
  std::condition_variable idle;
  std::multiset<Text> paths;
  std::multiset<Text> docids;
  std::map<std::shared_ptr<VideoDownload>, int> tasks;  // running downloads and their task numbers
  EndListener listener;
  // Once set (the downloads are going), an end no longer calls out.
  bool detached = false;
  // Ends calling out right now; the destructor waits until there are none.
  int callingOut = 0;
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
    shared_->detached = true;
    running = shared_->tasks;
  }
  for (const auto& [download, task] : running) {
    downloader_.Stop(task);
    RemovePartialFile(download->folder_, download->name_);
  }
  detach();
}

void VideoDownloads::detach() {
  // What an end calls (the catalogue, the form, the listeners) belongs to the owner, who takes
  // it down right after this: an end still calling out must be done first. The wait is bounded:
  // the catalogue interrupts a statement that runs too long.
  std::unique_lock lock(shared_->mutex);
  shared_->detached = true;
  shared_->idle.wait(lock, [this] { return shared_->callingOut == 0; });
}

void VideoDownloads::setEndListener(EndListener listener) {
  std::lock_guard lock(shared_->mutex);
  shared_->listener = std::move(listener);
}

DownloadFailure CommitVideoFile(const FolderHandle& folder, const Text& partName, const Text& name,
                                const Text& docid) {
  if (!folder.RenameNoReplace(partName, name)) {
    return {folder.Holds(name) ? FailureKind::FileExists : FailureKind::DiskError, 0};
  }
  if (!folder.Sync()) {
    // The rename may not survive a power cut, so no marker may say that it did.
    folder.Remove(name);
    return {FailureKind::DiskError, 0};
  }
  RecordHistory(docid);
  return {};
}

int RemoveLeftoverPartials(const Text& outputFolder, bool withSubfolders) {
  if (!FolderExists(outputFolder)) return 0;
  const FolderHandle output = FolderHandle::Open(outputFolder);
  const Text portrait = Gbk(collector_text::kPortraitFolder);
  int removed = RemoveLeftoverPartials(output);
  if (!withSubfolders) return removed + RemoveLeftoverPartials(output.Child(portrait, false));
  // Folders() leaves links out and Child() refuses them: the sweep never leaves the tree.
  for (const Text& sub : output.Folders()) {
    const FolderHandle folder = output.Child(sub, false);
    removed += RemoveLeftoverPartials(folder);
    if (sub != portrait) removed += RemoveLeftoverPartials(folder.Child(portrait, false));
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
  bool callOut = false;
  {
    std::lock_guard lock(shared->mutex);
    callOut = report && !shared->detached;
    if (callOut) ++shared->callingOut;
  }
  const std::shared_ptr<const FolderHandle> folder = download->folder_;
  const Text part = PartialNameFor(download->name_);
  // Only a file of the announced size becomes a video, and only a video gets its marker.
  if (!failure && (total <= 0 || !folder || RegularFileSize(*folder, part) != total)) {
    failure = {FailureKind::LengthMismatch, 0};
  }
  if (!failure) failure = CommitVideoFile(*folder, part, download->name_, download->docid());
  // A start that failed because the file exists leaves that file alone.
  if (failure && failure.kind != FailureKind::FileExists) RemovePartialFile(folder, download->name_);
  VideoDownload::LateListener late;
  {
    std::lock_guard lock(download->mutex_);
    download->state_ = failure ? VideoDownload::State::Failed : VideoDownload::State::Complete;
    download->bytes_ = failure ? 0 : total;
    download->failure_ = failure;
    late = std::move(download->late_);
  }
  download->changed_.notify_all();
  if (onEnd && callOut) onEnd(*download);
  EndListener listener;
  {
    std::lock_guard lock(shared->mutex);
    shared->paths.erase(shared->paths.find(download->path()));
    shared->docids.erase(shared->docids.find(download->docid()));
    shared->tasks.erase(download);
    listener = shared->listener;
  }
  shared->idle.notify_all();
  if (listener && callOut) listener(*download);
  if (late && callOut) late(*download);
  if (callOut) {
    std::lock_guard lock(shared->mutex);
    --shared->callingOut;
  }
  shared->idle.notify_all();
}

std::shared_ptr<VideoDownload> VideoDownloads::start(const Text& url, const VideoPlace& place,
                                                     const Text& docid, RetryLog retryLog, EndListener onEnd,
                                                     SizeCheck checkSize) {
  const Text path = place.path();
  std::shared_ptr<VideoDownload> download(new VideoDownload(path, place.fileName, docid));
  {
    std::lock_guard lock(shared_->mutex);
    shared_->paths.insert(path);
    shared_->docids.insert(docid);
  }
  int folderError = 0;
  auto folder = std::make_shared<const FolderHandle>(
      FolderHandle::Open(place.outputFolder, place.subfolders, &folderError));
  if (!folder->valid()) {
    Finish(shared_, download, onEnd, FolderFailure(folderError), 0, !StopRequested());
    return download;
  }
  download->folder_ = folder;
  const Text part = PartialNameFor(place.fileName);
  RemoveUnlockedPartialFile(*folder, part);  // a partial file of an earlier run that was cut off
  auto shared = shared_;
  RangedDownloader* downloader = &downloader_;
  auto callback = [shared, download, downloader, onEnd](int task, int code, std::int64_t total, std::int64_t done) {
    if (code == kDownloadProgress) {
      {
        std::lock_guard lock(download->mutex_);
        download->total_ = total;
        download->done_ = done;
      }
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
  extras.folder = folder->fd();
  extras.checkSize = std::move(checkSize);
  const int task =
      downloader_.Download(url, JoinPath(place.outputFolder, part), kThreadsPerVideo, callback, extras);
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
  return PartialFileLocked(PartialPathFor(path));
}

bool VideoDownloads::takes(const Text& docid) const {
  std::lock_guard lock(shared_->mutex);
  return shared_->docids.count(docid) > 0;
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
