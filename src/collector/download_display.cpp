#include "collector/download_display.h"

#include "collector/crawl_log.h"
#include "collector/log_texts.h"
#include "platform/window_layout.h"

namespace pelvaro {

void ShowDownloadFailure(Form& form, RowHandle row, const DownloadFailure& failure) {
  const Text message = Gbk(collector_text::kDownloadFailedBecause) + FailureText(failure);
  form.setCell(main_window::kVideoList, row, main_window::kColDownload, message);
  AppendLog(form, message);
}

void DownloadDisplay::onEnd(const DownloadEnd& end) {
  if (end.complete() || end.stopped || end.witness == EndWitness::Crawl) return;
  ShowDownloadFailure(form_, end.row, end.failure);
}

void DownloadDisplay::onRetry(const DownloadRetry& retry) { AppendLog(form_, retry.line); }

}  // namespace pelvaro
