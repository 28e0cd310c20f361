#include "collector/storage.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include <cmath>
#include <cstdio>
#include <string_view>

#include "collector/catalogue.h"
#include "collector/catalogue_recorder.h"
#include "collector/collection_service.h"
#include "collector/collector_settings.h"
#include "collector/crawl_log.h"
#include "collector/crawl_observer.h"
#include "collector/docid_claim.h"
#include "collector/log_texts.h"
#include "collector/platform_api.h"
#include "collector/storage_guards.h"
#include "collector/video_downloads.h"
#include "collector/video_record.h"
#include "platform/data_folder.h"
#include "platform/files.h"
#include "platform/folder_handle.h"
#include "platform/hosts.h"
#include "platform/partial_files.h"
#include "platform/safe_name.h"
#include "platform/window_layout.h"
#include "platform/worker.h"

namespace pelvaro {

namespace mw = main_window;

Path DefaultOutputFolder() { return DefaultVideoFolder(); }

Path HistoryFolder() { return JoinPath(RunDir(), "pelvarolishi"); }

Path HistoryMarkerPath(const Text& docid) { return JoinPath(HistoryFolder(), SafeNameOfGbk(docid, 0)); }

bool HistoryHolds(const Text& docid) { return FileExists(HistoryMarkerPath(docid)); }

int RecordHistory(const Text& docid) {
  int error = 0;
  const FolderHandle folder = FolderHandle::Open(HistoryFolder(), {}, &error);
  if (!folder.valid()) return error != 0 ? error : EIO;
  const Path name = SafeNameOfGbk(docid, 0);
  // A marker is an empty file: anything else of its name (a link, content written by hand) is
  // replaced by one, without ever writing through it.
  struct stat st {};
  if (::fstatat(folder.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode) &&
      !WriteFileAtomically(HistoryMarkerPath(docid), "")) {
    return LastFileError() != 0 ? LastFileError() : EIO;
  }
  return folder.CreateEmptyFileDurably(name);
}

int HistoryFolderError() { return FolderWriteError(HistoryFolder()); }

bool IsPortrait(const VideoRecord& record) {
  return ReadLenientInt(record.width) < ReadLenientInt(record.height);
}

std::vector<Path> TargetSubfolders(bool noSubfolders, const VideoRecord& record) {
  std::vector<Path> folders;
  if (!noSubfolders) folders.push_back(SafeNameOfGbk(record.category, 0));
  if (IsPortrait(record)) folders.emplace_back(collector_text::kPortraitFolder);
  return folders;
}

Path TargetFolder(const Path& outputFolder, bool noSubfolders, const VideoRecord& record) {
  Path folder = outputFolder;
  for (const Path& sub : TargetSubfolders(noSubfolders, record)) folder = JoinPath(folder, sub);
  return folder;
}

Path VideoFileName(std::string_view utf8Title) {
  constexpr std::string_view kExtension = ".mp4";
  // Room for the extension and for what the partial file's name adds to it.
  return SafeName(utf8Title, kExtension.size() + kPartialNameOverhead) + kExtension;
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
  if (limits.freeMb - mb < -kTolerance) return {FailureKind::DiskFull, static_cast<long>(std::ceil(mb))};
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

namespace {

// The file this program finished for the docid whose marker is missing, if there is one: the
// claim's record names it (wherever it is, at its size), or the catalogue's row names the very
// file the download would write, at its size.
std::optional<Path> FinishedHere(CrawlContext& context, const ClaimFile* claim, const Text& docid,
                                 const Path& path) {
  if (claim != nullptr) {
    if (auto finished = ParseFinishedRecord(claim->record());
        finished && FileSizeBytes(finished->path) == finished->size) {
      return finished->path;
    }
  }
  const auto size = FileSizeBytes(path);
  if (!size || context.catalogue == nullptr) return std::nullopt;
  const auto row = context.catalogue->video(GbkToUtf8(docid));
  if (row && row->path == AbsoluteNativePath(path) && row->sizeBytes == static_cast<std::int64_t>(*size))
    return path;
  return std::nullopt;
}

// Writes the marker of a file this program finished, and its row when the catalogue lacks one.
// False when the marker cannot be written: the crawl halts.
bool RepairMarker(CrawlContext& context, const std::shared_ptr<ClaimFile>& claim, const VideoRecord& record,
                  const Path& path) {
  if (const int error = RecordHistory(record.docid); error != 0) {
    context.downloads.halt(HaltText({FailureKind::HistoryUnwritable, error}));
    return false;
  }
  Catalogue* catalogue = context.catalogue;
  if (catalogue != nullptr && catalogue->usable() && !catalogue->video(GbkToUtf8(record.docid))) {
    const auto size = FileSizeBytes(path).value_or(0);
    catalogue->recordVideo(CatalogueRow(record, path, static_cast<std::int64_t>(size)), [claim] {
      if (claim) claim->remove();
    });
  } else if (claim) {
    claim->remove();
  }
  return true;
}

}  // namespace

Text HaltText(const DownloadFailure& failure) {
  return Gbk(collector_text::kHaltedBecause) + FailureText(failure) + Gbk("：") + PathText(HistoryFolder()) +
         Gbk(collector_text::kHaltedKeepsFile);
}

TakeOutcome TakeVideo(CrawlContext& context, RowHandle row, VideoRecord& record) {
  Form& form = context.form;
  if (!Pause(20)) return TakeOutcome::Stopped;
  if (record.title.empty()) {
    if (StopRequested()) return TakeOutcome::Stopped;
    const Text page = FetchArticlePage(record.docid);
    if (!Pause(80)) return TakeOutcome::Stopped;
    const PageTitle title = ArticlePageTitle(page);
    record.title = title.gbk;
    record.titleUtf8 = title.utf8;
    if (!Pause(80)) return TakeOutcome::Stopped;
    form.setCellUtf8(mw::kVideoList, row, mw::kColTitle, TitleUtf8(record));
  }

  // The docid is claimed before its file exists, so that another copy of the program on the
  // same folders never takes it too; it may have finished the video just before.
  const CollectorSettings settings(form);
  const VideoPlace place{settings.outputFolder(), TargetSubfolders(settings.noSubfolders(), record),
                         VideoFileName(TitleUtf8(record))};
  const Path path = place.path();
  ClaimFile::Outcome claimed = ClaimFile::Outcome::Failed;
  std::shared_ptr<ClaimFile> claim = ClaimDocid(record.docid, &claimed);
  if (claimed == ClaimFile::Outcome::HeldElsewhere || HistoryHolds(record.docid)) {
    AppendLogText(form, collector_text::kInHistory);
    form.setCell(mw::kVideoList, row, mw::kColDownload, Gbk(collector_text::kInHistoryCell));
    if (!Pause(200)) return TakeOutcome::Stopped;
    form.deleteRow(mw::kVideoList, row);
    return TakeOutcome::Present;
  }
  // A file this program finished but could not mark gets its marker instead of a download.
  if (const auto finished = FinishedHere(context, claim.get(), record.docid, path)) {
    if (!RepairMarker(context, claim, record, *finished)) return TakeOutcome::Stopped;
    AppendLogText(form, collector_text::kMarkerRepaired);
    if (!Pause(100)) return TakeOutcome::Stopped;
    form.deleteRow(mw::kVideoList, row);
    return TakeOutcome::Repaired;
  }
  // The existence check looks at the very file the download would write, so nothing is ever
  // overwritten, also not by a download of the same name that still runs.
  if (PathExists(path) || context.downloads.writes(path)) {
    AppendLogText(form, collector_text::kFileExists);
    if (!Pause(100)) return TakeOutcome::Stopped;
    form.deleteRow(mw::kVideoList, row);
    return TakeOutcome::Exists;
  }
  if (claim) claim->writeRecord("");  // a record of a file that is gone tells nothing
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
      [limits](std::int64_t bytes) { return ProbedSizeFailure(bytes, limits); }, std::move(claim));
  // Another copy made the file or its partial file in the moment since the check.
  if (download->state() == VideoDownload::State::Failed &&
      download->failure().kind == FailureKind::FileExists) {
    AppendLogText(form, collector_text::kFileExists);
    if (!Pause(100)) return TakeOutcome::Stopped;
    form.deleteRow(mw::kVideoList, row);
    return TakeOutcome::Exists;
  }

  auto state = download->state();
  for (int step = 0; step < context.timing.progressSteps; ++step) {
    if (!download->waitFor(context.timing.progressStep)) return TakeOutcome::Stopped;
    state = download->state();
    if (state == VideoDownload::State::Failed) break;
    const double fraction = download->fraction();
    form.setProgressCell(mw::kVideoList, row, mw::kColDownload, ProgressText(fraction), fraction);
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

Text OutputFolderProblem(const Path& path, int error) {
  const Text folder = PathText(path);
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
  const Path chosen = form.pickFolder(Gbk(collector_text::kPickFolderTitle), RunDir());
  form.setTextUtf8(mw::kOutputFolder, (chosen.empty() ? DefaultOutputFolder() : chosen).bytes());
}

}  // namespace pelvaro
