#include "collector/contribute_session.h"

#include "collector/log_texts.h"
#include "platform/window_layout.h"

namespace pelvaro {

namespace mw = main_window;
namespace ct = collector_text;

void ContributeSession::Toggle() {
  const Text caption = form_.text(mw::kContributeButton);
  if (caption == Gbk(ct::kContributeCaption)) {
    form_.setText(mw::kContributeButton, Gbk(ct::kStopCaption));
    Form& form = form_;
    const ContributeTiming timing = timing_;
    ContributeObserver* observer = observer_;
    const VideoDownloads* downloads = downloads_;
    worker_.Start([&form, timing, observer, downloads] { ContributeWorker(form, timing, observer, downloads).Run(); });
  } else if (caption == Gbk(ct::kStopCaption)) {
    form_.setText(mw::kContributeButton, Gbk(ct::kContributeCaption));
    worker_.RequestStop();
  }
}

bool ContributeSession::running() { return form_.text(mw::kContributeButton) == Gbk(ct::kStopCaption); }

}  // namespace pelvaro
