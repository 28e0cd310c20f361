#pragma once
// Downloads that keep failing for one cause of the machine or the network: after kRun of them in
// a row (the same reason at the same host or folder) the cause is said once, naming the host or
// the folder, so that the user sees what is wrong instead of a failure per video.

#include <functional>
#include <mutex>

#include "collector/download_end.h"
#include "platform/text.h"

namespace pelvaro {

class SameCauseNotice : public DownloadSubscriber {
 public:
  static constexpr int kRun = 3;
  // Hears the notice for the log and the user (GBK).
  using Notice = std::function<void(const Text& line)>;

  explicit SameCauseNotice(Notice notice) : notice_(std::move(notice)) {}

  void onEnd(const DownloadEnd& end) override;

  // The notice to give after this end, or the empty text.
  Text noteAfter(const DownloadEnd& end);

 private:
  Notice notice_;
  std::mutex mutex_;
  FailureKind kind_ = FailureKind::None;
  Text place_;
  int count_ = 0;
};

}  // namespace pelvaro
