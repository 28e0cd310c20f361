#include "collector/crawl_worker.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <string>

#include "collector/catalogue.h"
#include "collector/collection_service.h"
#include "collector/collector_settings.h"
#include "collector/crawl_log.h"
#include "collector/crawl_observer.h"
#include "collector/finished_repair.h"
#include "collector/history.h"
#include "collector/log_texts.h"
#include "collector/output_layout.h"
#include "collector/platform_api.h"
#include "collector/storage_guards.h"
#include "collector/take_video.h"
#include "collector/text_between.h"
#include "collector/video_downloads.h"
#include "collector/video_filter.h"
#include "collector/video_record.h"
#include "collector/video_reporter.h"
#include "platform/hosts.h"
#include "platform/window_layout.h"
#include "platform/worker.h"
#include "toolkit/json_document.h"

namespace pelvaro {

namespace mw = main_window;
namespace ct = collector_text;

namespace {

// The user's pause after a download, read now.
bool UserPause(const CollectorSettings& settings) {
  return Pause(static_cast<int>(std::clamp<std::int64_t>(settings.pauseMs(), 0, INT32_MAX)));
}

}  // namespace

void CrawlWorker::Run() {
  seeds_.clear();
  const CollectorSettings settings(context_.form);
  if (StopRequested()) return;
  context_.downloads.clearHalt();
  // A reason an earlier crawl showed is no longer known to hold.
  context_.form.setPanelText(mw::kStatusBar, mw::kMessagePanel, Text());
  // Partial files of a run that was killed are nobody's any more; files it finished but could
  // not mark or catalogue are finished now.
  RemoveLeftoverPartials(settings.outputFolder(), !settings.noSubfolders());
  RepairFinishedFiles(context_.catalogue);
  if (Halted()) return;
  Text first = QueryCollectionService(settings.category());
  if (StopRequested()) return;
  if (first.empty()) first = TextBetween(settings.seedLink(), "article/", "?");
  if (!SeedPass(first)) return;
  for (;;) {
    seeds_.push(QueryCollectionService(settings.category()));
    if (StopRequested()) return;
    if (!SeedPass(seeds_.pop().value_or(Text()))) return;
    seeds_.push(QueryCollectionService(settings.category()));
    if (StopRequested()) return;
    AppendLogText(context_.form, ct::kNextPassSoon);
    if (!Pause(context_.timing.passWait) || Halted()) return;
    if (context_.form.rowCount(mw::kVideoList) > kMaxRows) context_.form.clearRows(mw::kVideoList);
  }
}

bool CrawlWorker::SeedPass(const Text& seed) {
  Form& form = context_.form;
  JsonDocument document;
  if (StopRequested()) return false;
  const RelatedVideosAnswer answer = AskRelatedVideos(seed);
  if (!Pause(context_.timing.step)) return false;
  form.setText(mw::kLog, Text());
  ShowAnswerState(answer);
  document.parseUtf8(answer.utf8);
  if (!Pause(context_.timing.step)) return false;
  const int count = document.countAt("recommend_video");
  AppendLog(form, Gbk(ct::kReadCount) + std::to_string(count) + "\r\n");
  context_.observer->onPass(count);
  const Text category = CollectorSettings(form).category();
  for (int k = 0; k < count; ++k) {
    if (!HandleEntry(document, k, category)) return false;
  }
  AppendLogText(form, ct::kPassDone);
  return !StopRequested();
}

bool CrawlWorker::Halted() {
  const Text reason = context_.downloads.haltReason();
  if (reason.empty()) return false;
  Form& form = context_.form;
  AppendLog(form, reason);
  form.setText(mw::kCrawlButton, Gbk(ct::kStartCaption));
  context_.observer->onHalt(reason);
  form.messageBox(reason);
  return true;
}

void CrawlWorker::ShowAnswerState(const RelatedVideosAnswer& answer) {
  Form& form = context_.form;
  if (answer.answered) {
    if (unanswered_) form.setPanelText(mw::kStatusBar, mw::kMessagePanel, Text());
    unanswered_ = false;
    return;
  }
  // Said at every pass: the log box only ever shows the current one.
  const Text host = HostAddress(Host::PlatformWeb);
  const Text line = Gbk(ct::kPlatformUnreachable) + host + Gbk(ct::kReasonFollows) + answer.failure;
  AppendLog(form, line);
  form.setPanelText(mw::kStatusBar, mw::kMessagePanel, line);
  unanswered_ = true;
  context_.observer->onUnanswered(host, answer.failure);
}

bool CrawlWorker::RejectEntry(RowHandle row, std::string_view utf8Message) {
  const Text message = Gbk(utf8Message);
  AppendLog(context_.form, message);
  context_.form.setCell(mw::kVideoList, row, mw::kColDownload, message);
  if (!Pause(context_.timing.rowShown)) return false;
  context_.form.deleteRow(mw::kVideoList, row);
  return true;
}

bool CrawlWorker::PassOver(RowHandle row, const Text& docid, std::string_view utf8Log,
                           std::string_view utf8Cell) {
  AppendLogText(context_.form, utf8Log);
  context_.form.setCell(mw::kVideoList, row, mw::kColDownload, Gbk(utf8Cell));
  seeds_.push(docid);
  context_.observer->onPresent(docid);
  if (!Pause(context_.timing.rowShown)) return false;
  context_.form.deleteRow(mw::kVideoList, row);
  return true;
}

bool CrawlWorker::HandleEntry(JsonDocument& document, int k, const Text& category) {
  Form& form = context_.form;
  CrawlObserver& observer = *context_.observer;
  if (Halted() || !RunStorageGuards(context_)) return false;
  AppendLog(form, std::to_string(k + 1));
  observer.onEntry(k + 1);
  if (form.rowCount(mw::kVideoList) >= kMaxRows) form.clearRows(mw::kVideoList);
  if (StopRequested()) return false;
  const RowHandle row = form.addRow(mw::kVideoList);

  const Text docid = ReadDocid(document, k);
  // A docid whose download still runs counts as taken.
  if (HistoryHolds(docid) || context_.downloads.takes(docid)) {
    return PassOver(row, docid, ct::kInHistory, ct::kInHistoryCell);
  }
  // A video that failed too often is passed over like one in the history.
  if (context_.catalogue != nullptr && context_.catalogue->givenUp(GbkToUtf8(docid))) {
    return PassOver(row, docid, ct::kFailedTooOften, ct::kFailedTooOftenCell);
  }

  if (!Pause(context_.timing.step)) return false;
  VideoRecord record = ReadVideoRecord(document, k);
  // Queued before the filters: rejected and existing videos seed later passes as well.
  seeds_.push(docid);
  const CollectorSettings settings(form);
  if (const auto reason = FilterVideo(record, category, FilterLimits::Read(settings), std::time(nullptr))) {
    observer.onRejected(record, *reason);
    return RejectEntry(row, RejectMessage(*reason));
  }

  if (!Pause(context_.timing.step)) return false;
  const Text cells[] = {std::to_string(form.rowCount(mw::kVideoList)),
                        record.category,
                        record.title,
                        record.url,
                        record.duration,
                        record.sizeMb,
                        record.date,
                        record.docid,
                        record.width,
                        record.height};
  for (int column = 0; column < static_cast<int>(std::size(cells)); ++column) {
    if (column == mw::kColTitle) {
      form.setCellUtf8(mw::kVideoList, row, column, TitleUtf8(record));
    } else {
      form.setCell(mw::kVideoList, row, column, cells[column]);
    }
  }

  const TakeOutcome outcome = TakeVideo(context_, row, record);
  if (Halted()) return false;
  switch (outcome) {
    case TakeOutcome::Stopped:
      return false;
    case TakeOutcome::Present:
    case TakeOutcome::Repaired:
      observer.onPresent(docid);
      return true;
    case TakeOutcome::Exists:
      observer.onExists(record);
      return true;
    case TakeOutcome::ClaimedElsewhere:
      observer.onClaimedElsewhere(docid);
      return true;
    case TakeOutcome::Failed:
      // A failed download is not reported as done, neither in the log nor to the service.
      return UserPause(settings);
    case TakeOutcome::Complete:
    case TakeOutcome::Running:
      break;
  }
  // A download still running is not done: it goes on in the background and reports itself.
  AppendLog(form, "\r\n" + Gbk(outcome == TakeOutcome::Complete ? ct::kTaskDone : ct::kTaskInBackground));
  if (!UserPause(settings)) return false;
  // A download still running reports its video itself once the file is complete.
  if (outcome != TakeOutcome::Complete) return !StopRequested();
  context_.reporter.reportTaken(record);
  return !StopRequested();
}

}  // namespace pelvaro
