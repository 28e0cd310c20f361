#include "collector/crawl_session.h"

#include "collector/crawl_worker.h"
#include "collector/log_texts.h"
#include "collector/history.h"
#include "platform/window_layout.h"
#include "web/download_failure.h"

namespace pelvaro {

namespace mw = main_window;
namespace ct = collector_text;

void CrawlSession::Toggle() {
  Form& form = context_.form;
  const Text caption = form.text(mw::kCrawlButton);
  if (caption == Gbk(ct::kStartCaption)) {
    // Every video taken gets a marker there: a folder that cannot take one would make each
    // download a video taken again and again.
    if (const int error = HistoryFolderError(); error != 0) {
      form.messageBox(Gbk(ct::kHistoryFolderUnwritable) + PathText(HistoryFolder()) + Gbk("（") +
                      FileErrorText(error) + Gbk("）"));
      return;
    }
    form.setText(mw::kCrawlButton, Gbk(ct::kStopCaption));
    const CrawlContext context = context_;
    worker_.Start([context] { CrawlWorker(context).Run(); });
  } else if (caption == Gbk(ct::kStopCaption)) {
    form.setText(mw::kCrawlButton, Gbk(ct::kStartCaption));
    worker_.RequestStop();
  }
}

bool CrawlSession::running() { return context_.form.text(mw::kCrawlButton) == Gbk(ct::kStopCaption); }

}  // namespace pelvaro
