#include "collector/video_downloads.h"

#include <map>
#include <set>
#include <utility>

#include "collector/docid_claim.h"
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

// Downloads that keep failing for one cause of the machine or the network: the cause is said
// once per run of such failures, naming the host or the folder.
struct SameCause {
  FailureKind kind = FailureKind::None;
  Text place;
  int count = 0;

  // The notice to give after this end, or the empty text.
  Text note(const VideoDownload& download) {
    const DownloadFailure failure = download.failure();
    if (!failure || !IsEnvironmentFailure(failure) || failure.kind == FailureKind::HistoryUnwritable) {
      count = 0;
      return {};
    }
    const Text here = PlaceOf(failure, download);
    if (failure.kind != kind || here != place) count = 0;
    kind = failure.kind;
    place = here;
    if (++count != VideoDownloads::kSameCauseRun) return {};
    return Gbk(collector_text::kSameCauseBefore) + std::to_string(count) +
           Gbk(collector_text::kSameCauseMiddle) + place + " " + download.failureText() +
           Gbk(collector_text::kSameCauseAfter);
  }

  // The host of a network failure, the folder of a disk failure.
  static Text PlaceOf(const DownloadFailure& failure, const VideoDownload& download) {
    switch (failure.kind) {
      case FailureKind::DiskFull:
      case FailureKind::DiskError:
      case FailureKind::FolderGone: {
        const auto slash = download.path().rfind('/');
        return slash == Text::npos ? download.path() : download.path().substr(0, slash);
      }
      default:
        return HostOf(download.url());
    }
  }
  static Text HostOf(const Text& url) {
    const auto scheme = url.find("://");
    const auto start = scheme == Text::npos ? 0 : scheme + 3;
    return url.substr(start, url.find_first_of("/?#", start) - start);
  }
};

struct VideoDownloads::Shared {
  std::mutex mutex;
  std::condition_variable idle;
  std::multiset<Text> paths;
  std::multiset<Text> docids;
  std::map<std::shared_ptr<VideoDownload>, int> tasks;  // running downloads and their task numbers
  EndListener listener;
  Notice notice;
  SameCause sameCause;
  Text haltReason;
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

std::shared_ptr<ClaimFile> VideoDownload::claim() const {
  std::lock_guard lock(mutex_);
  return claim_;
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

void VideoDownloads::setNotice(Notice notice) {
  std::lock_guard lock(shared_->mutex);
  shared_->notice = std::move(notice);
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

DownloadFailure CommitVideoFile(const Text& partPath, const Text& path, const Text& docid, std::uint64_t size,
                                ClaimFile* claim) {
  // Recorded before the rename: a run cut off after it finds the file it finished.
  if (claim != nullptr) claim->writeRecord(FinishedRecord({docid, path, size}));
  auto undo = [claim](DownloadFailure failure) {
    if (claim != nullptr) claim->writeRecord("");
    return failure;
  };
  if (!RenameNoReplace(partPath, path)) {
    return undo(PathExists(path) ? DownloadFailure{FailureKind::FileExists, 0}
                                 : FileFailure(LastFileError(), 0));
  }
  const auto slash = path.rfind('/');
  if (!SyncFolder(slash == Text::npos ? Text(".") : path.substr(0, slash))) {
    // The rename may not survive a power cut, so no marker may say that it did.
    const int error = LastFileError();
    RemoveFile(path);
    return undo(FileFailure(error, 0));
  }
  if (const int error = RecordHistory(docid); error != 0) return {FailureKind::HistoryUnwritable, error};
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
                            DownloadFailure failure, std::int64_t total, bool report, bool ownsPart) {
  {
    std::lock_guard lock(download->mutex_);
    if (download->state_ != VideoDownload::State::Running) return;
  }
  const Text part = PartPath(download->path());
  // Only a file of the announced size becomes a video, and only a video gets its marker.
  if (!failure && (total <= 0 || FileSizeBytes(part) != static_cast<std::uint64_t>(total))) {
    failure = {FailureKind::LengthMismatch, 0};
  }
  const std::shared_ptr<ClaimFile> claim = download->claim();
  if (!failure) {
    failure = CommitVideoFile(part, download->path(), download->docid(), static_cast<std::uint64_t>(total),
                              claim.get());
  }
  // A start that found the partial file taken leaves it to its owner; a complete file whose
  // marker could not be written stays for the next run to mark.
  if (failure && ownsPart) RemoveFile(part);
  const bool halts = failure.kind == FailureKind::HistoryUnwritable;
  VideoDownload::LateListener late;
  {
    std::lock_guard lock(download->mutex_);
    download->state_ = failure ? VideoDownload::State::Failed : VideoDownload::State::Complete;
    download->bytes_ = failure ? 0 : total;
    download->failure_ = failure;
    late = std::move(download->late_);
  }
  download->changed_.notify_all();
  if (halts) {
    std::lock_guard lock(shared->mutex);
    shared->haltReason = HaltText(failure);
  }
  if (onEnd && report) {
    onEnd(*download);
  } else if (!failure && claim) {
    claim->remove();  // nobody writes a row: the marker finishes the job
  }
  {
    // The download lets go of its claim: a record still in it belongs to whoever stores the row
    // (or, after a marker that could not be written, to the next run).
    std::lock_guard lock(download->mutex_);
    download->claim_.reset();
  }
  EndListener listener;
  Notice notice;
  Text note;
  {
    std::lock_guard lock(shared->mutex);
    shared->paths.erase(shared->paths.find(download->path()));
    shared->docids.erase(shared->docids.find(download->docid()));
    shared->tasks.erase(download);
    listener = shared->listener;
    if (report) note = shared->sameCause.note(*download);
    notice = shared->notice;
  }
  shared->idle.notify_all();
  if (listener && report) listener(*download);
  if (late && report) late(*download);
  if (notice && !note.empty()) notice(note);
}

std::shared_ptr<VideoDownload> VideoDownloads::start(const Text& url, const Text& path, const Text& docid,
                                                     RetryLog retryLog, EndListener onEnd,
                                                     std::shared_ptr<ClaimFile> claim) {
  std::shared_ptr<VideoDownload> download(new VideoDownload(url, path, docid, std::move(claim)));
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
  const int task = downloader_.Download(url, part, kThreadsPerVideo, callback, extras);
  if (task < 0) {
    // A start cut short by a stop is no failure to count.
    if (!startFailure) startFailure = {FailureKind::Network, 0};
    Finish(shared_, download, onEnd, startFailure, 0, !StopRequested(),
           startFailure.kind != FailureKind::FileExists);
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
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->docids.count(docid) > 0) return true;
  }
  return DocidClaimedElsewhere(docid);
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
