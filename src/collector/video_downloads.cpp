#include "collector/video_downloads.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <set>
#include <type_traits>
#include <utility>

#include "collector/docid_claim.h"
#include "collector/history.h"
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
void RemovePartialFile(const std::shared_ptr<const FolderHandle>& folder, const Path& name) {
  if (folder && folder->valid()) folder->Remove(PartialNameFor(name));
}

// The size of a regular file in the folder (a link is none); -1 when there is none.
std::int64_t RegularFileSize(const FolderHandle& folder, const Path& name) {
  struct stat st {};
  if (::fstatat(folder.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
    return -1;
  }
  return st.st_size;
}

}  // namespace

Path VideoPlace::path() const {
  Path path = outputFolder;
  for (const Path& folder : subfolders) path = JoinPath(path, folder);
  return JoinPath(path, fileName);
}

struct VideoDownloads::Shared {
  std::mutex mutex;
  std::condition_variable idle;
  std::multiset<Path> paths;
  std::multiset<Text> docids;
  std::map<std::shared_ptr<VideoDownload>, int> tasks;  // running downloads and their task numbers
  std::vector<DownloadSubscriber*> subscribers;
  Text haltReason;
  // Once set (the downloads are going), an end no longer calls out.
  bool detached = false;
  // Events calling out right now; detach() and the end of a subscription wait until there are
  // none.
  int callingOut = 0;
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

bool VideoDownload::stopWaiting(std::stop_token crawl) {
  std::lock_guard lock(mutex_);
  if (state_ != State::Running) return false;
  waiter_ = std::move(crawl);
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
  // What an end calls (the catalogue, the form, the subscribers) belongs to the owner, who takes
  // it down right after this: an end still calling out must be done first. The wait is bounded:
  // the catalogue interrupts a statement that runs too long.
  std::unique_lock lock(shared_->mutex);
  shared_->detached = true;
  shared_->idle.wait(lock, [this] { return shared_->callingOut == 0; });
}

VideoDownloads::Subscription VideoDownloads::subscribe(DownloadSubscriber& subscriber) {
  std::lock_guard lock(shared_->mutex);
  shared_->subscribers.push_back(&subscriber);
  return Subscription(shared_, &subscriber);
}

VideoDownloads::Subscription::Subscription(Subscription&& other) noexcept
    : shared_(std::move(other.shared_)), subscriber_(std::exchange(other.subscriber_, nullptr)) {}

VideoDownloads::Subscription& VideoDownloads::Subscription::operator=(Subscription&& other) noexcept {
  if (this != &other) {
    end();
    shared_ = std::move(other.shared_);
    subscriber_ = std::exchange(other.subscriber_, nullptr);
  }
  return *this;
}

VideoDownloads::Subscription::~Subscription() { end(); }

void VideoDownloads::Subscription::end() {
  if (!shared_ || subscriber_ == nullptr) return;
  // An event that is calling out may be inside this subscriber: it returns first.
  std::unique_lock lock(shared_->mutex);
  shared_->idle.wait(lock, [this] { return shared_->callingOut == 0; });
  std::erase(shared_->subscribers, subscriber_);
  subscriber_ = nullptr;
}

template <typename Event>
bool VideoDownloads::CallOut(const std::shared_ptr<Shared>& shared, const Event& event) {
  std::vector<DownloadSubscriber*> subscribers;
  {
    std::lock_guard lock(shared->mutex);
    if (shared->detached || shared->subscribers.empty()) return false;
    subscribers = shared->subscribers;
    ++shared->callingOut;
  }
  for (DownloadSubscriber* subscriber : subscribers) {
    if constexpr (std::is_same_v<Event, DownloadEnd>) {
      subscriber->onEnd(event);
    } else {
      subscriber->onRetry(event);
    }
  }
  {
    std::lock_guard lock(shared->mutex);
    --shared->callingOut;
  }
  shared->idle.notify_all();
  return true;
}

Text VideoDownloads::haltReason() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->haltReason;
}

void VideoDownloads::halt(const Text& reason) {
  std::lock_guard lock(shared_->mutex);
  if (shared_->haltReason.empty()) shared_->haltReason = reason;
}

void VideoDownloads::clearHalt() {
  std::lock_guard lock(shared_->mutex);
  shared_->haltReason.clear();
}

DownloadFailure CommitVideoFile(const FolderHandle& folder, const Path& partName, const Path& name,
                                const FinishedFile& file, ClaimFile* claim) {
  // Recorded before the rename: a run cut off after it finds the file it finished.
  if (claim != nullptr) claim->writeRecord(FinishedRecord(file));
  auto undo = [claim](DownloadFailure failure) {
    if (claim != nullptr) claim->writeRecord("");
    return failure;
  };
  if (!folder.RenameNoReplace(partName, name)) {
    const int error = errno;
    return undo(folder.Holds(name) ? DownloadFailure{FailureKind::FileExists, 0} : FileFailure(error, 0));
  }
  if (!folder.Sync()) {
    // The rename may not survive a power cut, so no marker may say that it did.
    const int error = errno;
    folder.Remove(name);
    return undo(FileFailure(error, 0));
  }
  if (const int error = RecordHistory(file.docid); error != 0) return {FailureKind::HistoryUnwritable, error};
  return {};
}

void VideoDownloads::Finish(const std::shared_ptr<Shared>& shared,
                            const std::shared_ptr<VideoDownload>& download, DownloadFailure failure,
                            std::int64_t total, Ending ending, bool ownsPart) {
  std::shared_ptr<ClaimFile> claim;
  {
    std::lock_guard lock(download->mutex_);
    if (download->state_ != VideoDownload::State::Running) return;
    claim = download->claim_;
  }
  const std::shared_ptr<const FolderHandle> folder = download->folder_;
  const Path part = PartialNameFor(download->name_);
  // Only a file of the announced size becomes a video, and only a video gets its marker.
  if (!failure && (total <= 0 || !folder || RegularFileSize(*folder, part) != total)) {
    failure = {FailureKind::LengthMismatch, 0};
  }
  if (!failure) {
    const FinishedFile file{download->docid(), download->path(), static_cast<std::uint64_t>(total)};
    failure = CommitVideoFile(*folder, part, download->name_, file, claim.get());
  }
  // A start that found the partial file taken leaves it to its owner; a complete file whose
  // marker could not be written stays for the next run to mark.
  if (failure && ownsPart) RemovePartialFile(folder, download->name_);
  DownloadEnd end;
  end.docid = download->docid();
  end.path = download->path();
  end.failure = failure;
  end.bytes = failure ? 0 : total;
  end.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - download->started_).count();
  end.stopped = ending == Ending::Stopped;
  end.video = download->video_;
  end.row = download->row_;
  {
    std::lock_guard lock(download->mutex_);
    download->state_ = failure ? VideoDownload::State::Failed : VideoDownload::State::Complete;
    download->bytes_ = end.bytes;
    download->failure_ = failure;
    end.state = download->state_;
    if (download->waiter_) {
      end.witness = download->waiter_->stop_requested() ? EndWitness::NoCrawl : EndWitness::Background;
    }
    // The download lets go of its claim: a record still in it belongs to whoever stores the
    // row (or, after a marker that could not be written, to the next run).
    if (!failure) end.claim = claim;
    download->claim_.reset();
  }
  claim.reset();
  download->changed_.notify_all();
  if (failure.kind == FailureKind::HistoryUnwritable) {
    std::lock_guard lock(shared->mutex);
    shared->haltReason = HaltText(failure);
  }
  // Nobody stores a row when nobody hears of the end: the marker finishes the job.
  if (!CallOut(shared, end) && end.claim) end.claim->remove();
  end.claim.reset();
  {
    std::lock_guard lock(shared->mutex);
    shared->paths.erase(shared->paths.find(download->path()));
    shared->docids.erase(shared->docids.find(download->docid()));
    shared->tasks.erase(download);
  }
  shared->idle.notify_all();
}

std::shared_ptr<VideoDownload> VideoDownloads::start(DownloadRequest request) {
  const VideoPlace& place = request.place;
  const Path path = place.path();
  const Text url = request.video.url;
  const Text docid = request.video.docid;
  std::shared_ptr<VideoDownload> download(new VideoDownload(std::move(request.video), path, place.fileName,
                                                            request.row, std::move(request.claim)));
  {
    std::lock_guard lock(shared_->mutex);
    shared_->paths.insert(path);
    shared_->docids.insert(docid);
  }
  int folderError = 0;
  auto folder = std::make_shared<const FolderHandle>(
      FolderHandle::Open(place.outputFolder, place.subfolders, &folderError));
  if (!folder->valid()) {
    Finish(shared_, download, FolderFailure(folderError), 0,
           StopRequested() ? Ending::Stopped : Ending::OnItsOwn);
    return download;
  }
  download->folder_ = folder;
  const Path part = PartialNameFor(place.fileName);
  RemoveUnlockedPartialFile(*folder, part);  // a partial file of an earlier run that was cut off
  auto shared = shared_;
  RangedDownloader* downloader = &downloader_;
  auto callback = [shared, download, downloader](int task, int code, std::int64_t total, std::int64_t done) {
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
      Finish(shared, download, {}, total);
    } else {
      DownloadFailure failure = downloader->Progress(task).failure;
      if (!failure) failure = {FailureKind::LengthMismatch, 0};
      Finish(shared, download, failure, total);
    }
  };
  DownloadFailure startFailure;
  DownloadExtras extras;
  extras.startFailure = &startFailure;
  extras.onRetry = [shared, docid](const std::string& line) { CallOut(shared, DownloadRetry{docid, line}); };
  extras.folder = folder->fd();
  extras.checkSize = std::move(request.checkSize);
  const int task =
      downloader_.Download(url, JoinPath(place.outputFolder, part), kThreadsPerVideo, callback, extras);
  if (task < 0) {
    // A start cut short by a stop is no failure to count.
    if (!startFailure) startFailure = {FailureKind::Network, 0};
    Finish(shared_, download, startFailure, 0, StopRequested() ? Ending::Stopped : Ending::OnItsOwn,
           startFailure.kind != FailureKind::FileExists);
  } else {
    std::lock_guard lock(shared_->mutex);
    if (download->state() == VideoDownload::State::Running) shared_->tasks[download] = task;
  }
  return download;
}

bool VideoDownloads::writes(const Path& path) const {
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->paths.count(path) > 0) return true;
  }
  return PartialFileLocked(PartialPathFor(path));
}

bool VideoDownloads::takes(const Text& docid) const {
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->docids.count(docid) > 0) return true;
  }
  return DocidClaimedElsewhere(docid);
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
    Finish(shared_, download, {FailureKind::Network, 0}, 0, Ending::Stopped);
  }
  return stopped;
}

}  // namespace pelvaro
