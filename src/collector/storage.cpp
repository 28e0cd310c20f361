#include "collector/storage.h"

#include <cerrno>
#include <cstdio>

#include "collector/catalogue_recorder.h"
#include "collector/collection_service.h"
#include "collector/collector_settings.h"
#include "collector/crawl_log.h"
#include "collector/crawl_observer.h"
#include "collector/log_texts.h"
#include "collector/platform_api.h"
#include "collector/video_downloads.h"
#include "collector/video_record.h"
#include "platform/data_folder.h"
#include "platform/files.h"
#include "platform/hosts.h"
#include "platform/safe_name.h"
#include "platform/window_layout.h"
#include "platform/worker.h"

namespace pelvaro {

namespace mw = main_window;

Text DefaultOutputFolder() { return Utf8ToGbk(DefaultVideoFolder()); }

Text HistoryFolder() { return JoinPath(Utf8ToGbk(RunDir()), "pelvarolishi"); }

Text HistoryMarkerPath(const Text& docid) { return JoinPath(HistoryFolder(), SafeFileName(docid, 0)); }

bool HistoryHolds(const Text& docid) { return FileExists(HistoryMarkerPath(docid)); }

void RecordHistory(const Text& docid) {
  CreateFolders(HistoryFolder());
  const Text marker = HistoryMarkerPath(docid);
  // A marker is empty: one that exists with content (written by hand, say) is emptied.
  if (const auto size = FileSizeBytes(marker); size && *size > 0) {
    WriteFileAtomically(marker, "");
    return;
  }
  CreateEmptyFile(marker);
}

bool IsPortrait(const VideoRecord& record) {
  return ReadLenientInt(record.width) < ReadLenientInt(record.height);
}

Text TargetFolder(const Text& outputFolder, bool noSubfolders, const VideoRecord& record) {
  Text folder = outputFolder;
  if (!noSubfolders) folder = JoinPath(folder, SafeFileName(record.category, 0));
  if (IsPortrait(record)) folder = JoinPath(folder, Gbk(collector_text::kPortraitFolder));
  return folder;
}

Text VideoFileName(const Text& title) { return SafeFileName(title) + ".mp4"; }

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
  const Text folder = TargetFolder(settings.outputFolder(), settings.noSubfolders(), record);
  const Text path = JoinPath(folder, VideoFileName(record.title));
  if (PathExists(path) || context.downloads.writes(path)) {
    AppendLogText(form, collector_text::kFileExists);
    if (!Pause(100)) return TakeOutcome::Stopped;
    form.deleteRow(mw::kVideoList, row);
    return TakeOutcome::Exists;
  }
  if (!Pause(200)) return TakeOutcome::Stopped;

  CreateFolders(folder);
  if (StopRequested()) return TakeOutcome::Stopped;
  if (context.observer != nullptr) context.observer->onDownloadStarting(record);
  Form* log = &form;
  const auto download = context.downloads.start(
      record.url, path, record.docid, [log](const Text& line) { AppendLog(*log, line); },
      context.catalogue != nullptr ? CatalogueRecorder(*context.catalogue, record) : nullptr);

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

Text OutputFolderProblem(const Text& folder, int error) {
  std::string_view reason;
  switch (error) {
    case EACCES:
    case EPERM:
      reason = "没有写入权限";
      break;
    case EROFS:
      reason = "文件系统只读";
      break;
    case ENOSPC:
    case EDQUOT:
      reason = "磁盘已满";
      break;
    case ENOTDIR:
    case EEXIST:
      reason = "不是文件夹";
      break;
    case ENOENT:
      reason = "路径不存在";
      break;
    case ENAMETOOLONG:
      reason = "路径太长";
      break;
    default:
      return Gbk(collector_text::kOutputFolderUnwritable) + folder + Gbk("（错误 ") + std::to_string(error) +
             Gbk("）");
  }
  return Gbk(collector_text::kOutputFolderUnwritable) + folder + Gbk("（") + Gbk(reason) + Gbk("）");
}

void PickOutputFolder(Form& form) {
  const Text chosen = form.pickFolder(Gbk(collector_text::kPickFolderTitle), Utf8ToGbk(RunDir()));
  form.setText(mw::kOutputFolder, chosen.empty() ? DefaultOutputFolder() : chosen);
}

}  // namespace pelvaro
