#pragma once
// What the window shows of the downloads: every retry as a line of the log, and the failure of a
// download the crawl no longer waited for in its row (while the row exists) and the log. A
// failure the crawl waited for is shown by the crawl itself, in its order.

#include "collector/download_end.h"
#include "platform/form.h"

namespace pelvaro {

// "下载失败：" and the reason, in the row's status cell and the log.
void ShowDownloadFailure(Form& form, RowHandle row, const DownloadFailure& failure);

class DownloadDisplay : public DownloadSubscriber {
 public:
  // The form must outlive the subscription.
  explicit DownloadDisplay(Form& form) : form_(form) {}

  void onEnd(const DownloadEnd& end) override;
  void onRetry(const DownloadRetry& retry) override;

 private:
  Form& form_;
};

}  // namespace pelvaro
