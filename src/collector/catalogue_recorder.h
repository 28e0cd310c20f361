#pragma once

#include "collector/catalogue.h"
#include "collector/video_downloads.h"

namespace pelvaro {

class Catalogue;
struct VideoRecord;

// The reason a failed download is remembered with (UTF-8).
std::string FailureReason(const VideoDownload& download);

// The catalogue row of a video whose download is complete and marked.
CatalogueVideo CatalogueRow(const VideoRecord& record, const VideoDownload& download);

// The end hook of one download that keeps the catalogue in step with the disk: the row of a
// complete video, one more failed attempt for a failed one. The catalogue must outlive the
// download.
VideoDownloads::EndListener CatalogueRecorder(Catalogue& catalogue, const VideoRecord& record);

}  // namespace pelvaro
