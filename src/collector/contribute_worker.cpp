#include "collector/contribute_worker.h"

#include <string>

#include "collector/collection_service.h"
#include "collector/platform_api.h"
#include "collector/history.h"
#include "collector/text_between.h"
#include "collector/video_downloads.h"
#include "collector/video_record.h"
#include "platform/window_layout.h"
#include "platform/worker.h"
#include "toolkit/json_document.h"

namespace pelvaro {

namespace mw = main_window;

void ContributeWorker::Run() {
  while (Pass()) {
    if (!lastPassGaveSeed_ && !WaitFor(timing_.retryWait)) return;
  }
}

bool ContributeWorker::Pass() {
  JsonDocument document;
  if (StopRequested()) return false;
  const Text seed = TextBetween(form_.text(mw::kSeedLink), "article/", "?");
  if (StopRequested()) return false;
  const Text answer = FetchRelatedVideos(seed);
  if (!WaitFor(std::chrono::milliseconds(20))) return false;
  document.parse(answer);
  if (!WaitFor(std::chrono::milliseconds(20))) return false;

  const int count = document.countAt("recommend_video");
  Text lastDocid;
  for (int k = 0; k < count; ++k) {
    lastDocid = ReadDocid(document, k);
    if (HistoryHolds(lastDocid) || (downloads_ != nullptr && downloads_->takes(lastDocid))) {
      if (!WaitFor(timing_.entryPause)) return false;
      if (observer_ != nullptr) observer_->onInHistory(lastDocid);
      continue;
    }
    if (!WaitFor(timing_.entryPause)) return false;
    const Text category = ReadVideoRecord(document, k).category;
    const Text reply = QueryCollectionService(category, lastDocid);
    if (StopRequested()) return false;
    form_.setText(mw::kContributeStatus, reply);
    if (observer_ != nullptr) observer_->onReported(lastDocid, category, reply);
  }

  // A pass without a next seed keeps the user's link: rewriting it to the link of an empty
  // docid would lose the article the user pasted, and every later pass would ask for nothing.
  lastPassGaveSeed_ = !lastDocid.empty();
  if (lastPassGaveSeed_) form_.setText(mw::kSeedLink, ArticleLink(lastDocid));
  if (observer_ != nullptr) observer_->onPassDone(count);
  return !StopRequested();
}

}  // namespace pelvaro
