#pragma once
// The start/stop toggle of the data contribution. The contribute button's caption holds the
// state: "共建大数据" idle, "停止" a contribute worker running. Stopping never waits for the
// worker: it sets its stop token and returns. The crawl's toggle is independent of this one.

#include <string_view>

#include "collector/contribute_worker.h"
#include "platform/form.h"
#include "platform/worker.h"

namespace pelvaro {

namespace collector_text {
inline constexpr std::string_view kContributeCaption = "共建大数据";
}  // namespace collector_text

class ContributeSession {
 public:
  explicit ContributeSession(Form& form, ContributeTiming timing = {}, ContributeObserver* observer = nullptr,
                             const VideoDownloads* downloads = nullptr)
      : form_(form), timing_(timing), observer_(observer), downloads_(downloads) {}
  ~ContributeSession() { worker_.RequestStop(); }
  ContributeSession(const ContributeSession&) = delete;
  ContributeSession& operator=(const ContributeSession&) = delete;

  // A click of the contribute button.
  void Toggle();

  // Whether a worker runs (the caption says "停止").
  bool running();

  // The current worker (tests and the terminal front end join it after a stop).
  Worker& worker() { return worker_; }

 private:
  Form& form_;
  ContributeTiming timing_;
  ContributeObserver* observer_;
  const VideoDownloads* downloads_;
  Worker worker_;
};

}  // namespace pelvaro
