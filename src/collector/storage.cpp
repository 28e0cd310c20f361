#include "collector/storage.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <string_view>

#include "collector/catalogue_recorder.h"
#include "collector/collection_service.h"
#include "collector/collector_settings.h"
#include "collector/crawl_log.h"
#include "collector/crawl_observer.h"
#include "collector/log_texts.h"
#include "collector/platform_api.h"
#include "collector/storage_guards.h"
#include "collector/video_downloads.h"
#include "collector/video_record.h"
#include "platform/files.h"
#include "platform/folder_handle.h"
#include "platform/hosts.h"
#include "platform/partial_files.h"
#include "platform/safe_name.h"
#include "platform/window_layout.h"
#include "platform/worker.h"

namespace pelvaro {

namespace mw = main_window;

Text DefaultOutputFolder() { return JoinPath(Utf8ToGbk(RunDir()), "video"); }

Text HistoryFolder() { return JoinPath(Utf8ToGbk(RunDir()), "pelvarolishi"); }

Text HistoryMarkerPath(const Text& docid) { return JoinPath(HistoryFolder(), SafeFileName(docid, 0)); }

bool HistoryHolds(const Text& docid) { return FileExists(HistoryMarkerPath(docid)); }

void RecordHistory(const Text& docid) {
  const FolderHandle folder = FolderHandle::Open(HistoryFolder());
  const Text name = SafeFileName(docid, 0);
  if (!folder.Holds(name)) {
    // Made inside the open folder and never through a link of the marker's name.
    folder.CreateEmptyFile(name);
    return;
  }
  // A marker is an empty file: anything else of its name (content written by hand, a link) is
  // replaced by one, without ever writing through it.
  struct stat st {};
  if (::fstatat(folder.fd(), NativePath(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISREG(st.st_mode) && st.st_size == 0) {
    return;
  }
  WriteFileAtomically(HistoryMarkerPath(docid), "");
}

bool IsPortrait(const VideoRecord& record) {
  return ReadLenientInt(record.width) < ReadLenientInt(record.height);
}

std::vector<Text> TargetSubfolders(bool noSubfolders, const VideoRecord& record) {
  std::vector<Text> folders;
  if (!noSubfolders) folders.push_back(SafeFileName(record.category, 0));
  if (IsPortrait(record)) folders.push_back(Gbk(collector_text::kPortraitFolder));
  return folders;
}

Text TargetFolder(const Text& outputFolder, bool noSubfolders, const VideoRecord& record) {
  Text folder = outputFolder;
  for (const Text& sub : TargetSubfolders(noSubfolders, record)) folder = JoinPath(folder, sub);
  return folder;
}

Text VideoFileName(const Text& title) {
  constexpr std::string_view kExtension = ".mp4";
  // Room for the extension and for what the partial file's name adds to it.
  return SafeFileName(title, kExtension.size() + kPartialNameOverhead) + std::string(kExtension);
}

DownloadFailure ProbedSizeFailure(std::int64_t bytes, const ProbedSizeLimits& limits) {
  const double mb = static_cast<double>(bytes) / 1048576.0;
  // The same tolerance as the filter on the answer's size.
  constexpr double kTolerance = 0.0000001;
  if (mb - static_cast<double>(limits.maxSizeMb) > kTolerance ||
      mb - static_cast<double>(limits.minSizeMb) < -kTolerance) {
    return {FailureKind::SizeOutsideLimits, static_cast<long>(std::ceil(mb))};
  }
  // A file that does not fit at all meets a full disk; one that fits but leaves less than the
  // floor is refused for the floor's sake.
  if (limits.freeMb - mb < -kTolerance) return {FailureKind::DiskFull, 0};
  if (limits.freeMb - mb - static_cast<double>(limits.minFreeMb) < -kTolerance) {
    return {FailureKind::LowSpace, 0};
  }
  return {};
}

Text ProgressText(double fraction) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.13g%%", fraction * 100.0);
  return buffer;
}

void ShowDownloadFailure(Form& form, RowHandle row, const VideoDownload& download) {
  const Text message = Gbk(collector_text::kDownloadFailedBecause) + download.failureText();
  form.setCell(mw::kVideoList, row, mw::kColDownload, message);
  AppendLog(form, message);
}

TakeOutcome TakeVideo(CrawlContext& context, RowHandle row, VideoRecord& record) {
  Form& form = context.form;
  if (!Pause(20)) return TakeOutcome::Stopped;
  if (record.title.empty()) {
    if (StopRequested()) return TakeOutcome::Stopped;
    const Text page = FetchArticlePage(record.docid);
    if (!Pause(80)) return TakeOutcome::Stopped;
    record.title = ArticleTitle(page);
    if (!Pause(80)) return TakeOutcome::Stopped;
    form.setCell(mw::kVideoList, row, mw::kColTitle, record.title);
  }

  // The existence check looks at the very file the download would write, so nothing is ever
  // overwritten, also not by a download of the same name that still runs.
  const CollectorSettings settings(form);
  const VideoPlace place{settings.outputFolder(), TargetSubfolders(settings.noSubfolders(), record),
                         VideoFileName(record.title)};
  const Text path = place.path();
  if (PathExists(path) || context.downloads.writes(path)) {
    AppendLogText(form, collector_text::kFileExists);
    if (!Pause(100)) return TakeOutcome::Stopped;
    form.deleteRow(mw::kVideoList, row);
    return TakeOutcome::Exists;
  }
  if (!Pause(200)) return TakeOutcome::Stopped;

  if (StopRequested()) return TakeOutcome::Stopped;
  if (context.observer != nullptr) context.observer->onDownloadStarting(record);
  Form* log = &form;
  // The answer's size passed the filter; the server's own, from the probe, must pass as well
  // before the first byte is written (and no more than it is ever written).
  const ProbedSizeLimits limits{settings.minSizeMb(), settings.maxSizeMb(), settings.minFreeMb(),
                                FreeSpaceMb(settings.outputFolder())};
  const auto download = context.downloads.start(
      record.url, place, record.docid, [log](const Text& line) { AppendLog(*log, line); },
      context.catalogue != nullptr ? CatalogueRecorder(*context.catalogue, record) : nullptr,
      [limits](std::int64_t bytes) { return ProbedSizeFailure(bytes, limits); });

  auto state = download->state();
  for (int step = 0; step < context.timing.progressSteps; ++step) {
    if (!download->waitFor(context.timing.progressStep)) return TakeOutcome::Stopped;
    state = download->state();
    if (state == VideoDownload::State::Failed) break;
    form.setCell(mw::kVideoList, row, mw::kColDownload, ProgressText(download->fraction()));
    if (state != VideoDownload::State::Running) break;
  }
  if (state == VideoDownload::State::Running) {
    // Nobody waits any more: the end still shows in the row (while it exists) and the log,
    // and the service hears of the video only once its file is complete.
    const std::stop_token token = CurrentStopToken();
    const Text category = record.category;
    const bool listening = download->setLateListener([log, row, token, category](const VideoDownload& ended) {
      if (ended.state() == VideoDownload::State::Failed) {
        ShowDownloadFailure(*log, row, ended);
      } else if (!token.stop_requested()) {
        QueryCollectionService(category, ended.docid());
      }
    });
    if (!listening) state = download->state();
  }
  if (state == VideoDownload::State::Failed) ShowDownloadFailure(form, row, *download);
  if (!Pause(20)) return TakeOutcome::Stopped;
  switch (state) {
    case VideoDownload::State::Complete:
      return TakeOutcome::Complete;
    case VideoDownload::State::Failed:
      return TakeOutcome::Failed;
    case VideoDownload::State::Running:
      break;
  }
  return TakeOutcome::Running;
}

void PickOutputFolder(Form& form) {
  const Text chosen = form.pickFolder(Gbk(collector_text::kPickFolderTitle), Utf8ToGbk(RunDir()));
  form.setText(mw::kOutputFolder, chosen.empty() ? DefaultOutputFolder() : chosen);
}

}  // namespace pelvaro
