#pragma once

#include <atomic>

#include "collector/catalogue.h"
#include "collector/download_end.h"

namespace pelvaro {

class CatalogueBackend;
struct VideoRecord;

// The absolute file-system form of a program path, as rows name their files.
std::string AbsoluteNativePath(const Path& path);

// The catalogue row of a video whose download is complete and marked.
CatalogueVideo CatalogueRow(const VideoRecord& record, const Path& path, std::int64_t bytes);

// Keeps the catalogue in step with the disk as downloads end: the row of a complete video (its
// claim's record removed once the row is stored), one more failed attempt for a video whose own
// fault it was. A failure of the machine or the network, a file that another copy made first
// and a download the program stopped count for nothing; the fleet's claim of a video not taken
// goes back. Without a catalogue it only removes the claims' records: the markers finish the
// job. The catalogue must outlive the subscription.
class CatalogueRecorder : public DownloadSubscriber {
 public:
  explicit CatalogueRecorder(CatalogueBackend* catalogue) : catalogue_(catalogue) {}
  // The catalogue of the downloads that end from now on.
  void use(CatalogueBackend* catalogue) { catalogue_ = catalogue; }

  void onEnd(const DownloadEnd& end) override;

 private:
  std::atomic<CatalogueBackend*> catalogue_;
};

}  // namespace pelvaro
