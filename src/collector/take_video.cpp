#include "collector/take_video.h"

#include <cmath>
#include <cstdio>

#include "collector/catalogue.h"
#include "collector/catalogue_recorder.h"
#include "collector/collector_settings.h"
#include "collector/crawl_log.h"
#include "collector/crawl_observer.h"
#include "collector/docid_claim.h"
#include "collector/download_display.h"
#include "collector/history.h"
#include "collector/log_texts.h"
#include "collector/output_layout.h"
#include "collector/platform_api.h"
#include "collector/storage_guards.h"
#include "collector/video_downloads.h"
#include "collector/video_record.h"
#include "platform/files.h"
#include "platform/window_layout.h"
#include "platform/worker.h"

namespace pelvaro {

namespace mw = main_window;

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
  CatalogueBackend* catalogue = context.catalogue;
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

TakeOutcome TakeVideo(CrawlContext& context, RowHandle row, VideoRecord& record) {
  Form& form = context.form;
  const CrawlTiming& timing = context.timing;
  if (!Pause(timing.step)) return TakeOutcome::Stopped;
  if (record.title.empty()) {
    if (StopRequested()) return TakeOutcome::Stopped;
    const Text page = FetchArticlePage(record.docid);
    if (!Pause(timing.pageStep)) return TakeOutcome::Stopped;
    const PageTitle title = ArticlePageTitle(page);
    record.title = title.gbk;
    record.titleUtf8 = title.utf8;
    if (!Pause(timing.pageStep)) return TakeOutcome::Stopped;
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
    if (!Pause(timing.rowShown)) return TakeOutcome::Stopped;
    form.deleteRow(mw::kVideoList, row);
    return TakeOutcome::Present;
  }
  // A file this program finished but could not mark gets its marker instead of a download.
  if (const auto finished = FinishedHere(context, claim.get(), record.docid, path)) {
    if (!RepairMarker(context, claim, record, *finished)) return TakeOutcome::Stopped;
    AppendLogText(form, collector_text::kMarkerRepaired);
    if (!Pause(timing.rowShownBriefly)) return TakeOutcome::Stopped;
    form.deleteRow(mw::kVideoList, row);
    return TakeOutcome::Repaired;
  }
  // The existence check looks at the very file the download would write, so nothing is ever
  // overwritten, also not by a download of the same name that still runs.
  if (PathExists(path) || context.downloads.writes(path)) {
    AppendLogText(form, collector_text::kFileExists);
    if (!Pause(timing.rowShownBriefly)) return TakeOutcome::Stopped;
    form.deleteRow(mw::kVideoList, row);
    return TakeOutcome::Exists;
  }
  // The fleet's claim comes last before the download: every earlier way out would have to give
  // it back. Without an answer from the shared catalogue the local history alone decides.
  CatalogueBackend* catalogue = context.catalogue;
  if (catalogue != nullptr && catalogue->claim(GbkToUtf8(record.docid)) == FleetClaim::TakenElsewhere) {
    AppendLogText(form, collector_text::kClaimedElsewhere);
    form.setCell(mw::kVideoList, row, mw::kColDownload, Gbk(collector_text::kClaimedElsewhereCell));
    if (!Pause(timing.rowShown)) return TakeOutcome::Stopped;
    form.deleteRow(mw::kVideoList, row);
    return TakeOutcome::ClaimedElsewhere;
  }
  const auto giveBack = [&] {
    if (catalogue != nullptr) catalogue->release(GbkToUtf8(record.docid));
    return TakeOutcome::Stopped;
  };
  if (claim) claim->writeRecord("");  // a record of a file that is gone tells nothing
  if (!Pause(timing.rowShown)) return giveBack();

  if (StopRequested()) return giveBack();
  context.observer->onDownloadStarting(record);
  // The answer's size passed the filter; the server's own, from the probe, must pass as well
  // before the first byte is written (and no more than it is ever written).
  const ProbedSizeLimits limits{settings.minSizeMb(), settings.maxSizeMb(), settings.minFreeMb(),
                                FreeSpaceMb(settings.outputFolder())};
  const auto download = context.downloads.start(DownloadRequest{
      record, place, row, [limits](std::int64_t bytes) { return ProbedSizeFailure(bytes, limits); },
      std::move(claim)});
  // Another copy made the file or its partial file in the moment since the check.
  if (download->state() == VideoDownload::State::Failed &&
      download->failure().kind == FailureKind::FileExists) {
    AppendLogText(form, collector_text::kFileExists);
    if (!Pause(timing.rowShownBriefly)) return TakeOutcome::Stopped;
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
    context.observer->onProgress(record.docid, fraction);
    if (state != VideoDownload::State::Running) break;
  }
  // Nobody waits any more: the end still shows in the row (while it exists) and the log, and
  // the service hears of the video only once its file is complete.
  if (state == VideoDownload::State::Running && !download->stopWaiting(CurrentStopToken())) {
    state = download->state();
  }
  if (state == VideoDownload::State::Failed) ShowDownloadFailure(form, row, download->failure());
  if (!Pause(timing.step)) return TakeOutcome::Stopped;
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

}  // namespace pelvaro
