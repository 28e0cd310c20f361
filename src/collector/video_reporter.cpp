#include "collector/video_reporter.h"

#include "collector/collection_service.h"
#include "platform/worker.h"

namespace pelvaro {

VideoReporter::VideoReporter(Send send) : send_(std::move(send)) {
  if (!send_) send_ = [](const Text& category, const Text& docid) { QueryCollectionService(category, docid); };
}

void VideoReporter::onEnd(const DownloadEnd& end) {
  if (!end.complete()) return;
  if (end.witness == EndWitness::Background) {
    send_(end.video.category, end.docid);
    return;
  }
  std::lock_guard lock(mutex_);
  if (reportedEarly_.erase(end.docid) == 0) owed_[end.docid] = end.video.category;
}

void VideoReporter::reportTaken(const VideoRecord& record) {
  {
    std::lock_guard lock(mutex_);
    if (owed_.erase(record.docid) == 0) reportedEarly_.insert(record.docid);
  }
  send_(record.category, record.docid);
}

void VideoReporter::reportOwed(const std::function<void(const Text& docid)>& before) {
  std::map<Text, Text> owed;
  {
    std::lock_guard lock(mutex_);
    owed.swap(owed_);
  }
  for (const auto& [docid, category] : owed) {
    if (StopRequested()) break;
    if (before) before(docid);
    send_(category, docid);
  }
}

}  // namespace pelvaro
