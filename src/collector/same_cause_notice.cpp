#include "collector/same_cause_notice.h"

#include <string>

#include "collector/log_texts.h"

namespace pelvaro {

namespace {

Text HostOf(const Text& url) {
  const auto scheme = url.find("://");
  const auto start = scheme == Text::npos ? 0 : scheme + 3;
  return url.substr(start, url.find_first_of("/?#", start) - start);
}

// The host of a network failure, the folder of a disk failure.
Text PlaceOf(const DownloadEnd& end) {
  switch (end.failure.kind) {
    case FailureKind::DiskFull:
    case FailureKind::DiskError:
    case FailureKind::FolderGone:
    case FailureKind::FolderIsLink:
    case FailureKind::LowSpace:
      return PathText(end.path.folder());
    default:
      return HostOf(end.video.url);
  }
}

}  // namespace

Text SameCauseNotice::noteAfter(const DownloadEnd& end) {
  const DownloadFailure& failure = end.failure;
  std::lock_guard lock(mutex_);
  if (!failure || !IsEnvironmentFailure(failure) || failure.kind == FailureKind::HistoryUnwritable) {
    count_ = 0;
    return {};
  }
  const Text here = PlaceOf(end);
  if (failure.kind != kind_ || here != place_) count_ = 0;
  kind_ = failure.kind;
  place_ = here;
  if (++count_ != kRun) return {};
  return Gbk(collector_text::kSameCauseBefore) + std::to_string(count_) + Gbk(collector_text::kSameCauseMiddle) +
         place_ + " " + FailureText(failure) + Gbk(collector_text::kSameCauseAfter);
}

void SameCauseNotice::onEnd(const DownloadEnd& end) {
  // A download the program stopped says nothing about the machine or the network.
  if (end.stopped) return;
  if (const Text note = noteAfter(end); !note.empty() && notice_) notice_(note);
}

}  // namespace pelvaro
