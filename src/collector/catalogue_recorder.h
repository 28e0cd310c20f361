#pragma once

#include "collector/catalogue.h"
#include "collector/video_downloads.h"

namespace pelvaro {

class CatalogueBackend;
struct VideoRecord;

// The absolute file-system form of a program path, as rows name their files.
std::string AbsoluteNativePath(const Text& path);

// The catalogue row of a video whose download is complete and marked.
CatalogueVideo CatalogueRow(const VideoRecord& record, const VideoDownload& download);
CatalogueVideo CatalogueRow(const VideoRecord& record, const Text& path, std::int64_t bytes);

// The end hook of one download that keeps the catalogue in step with the disk: the row of a
// complete video (its claim's record removed once the row is stored), one more failed attempt
// for a video whose own fault it was. A failure of the machine or the network, and a file that
// another copy made first, count for nothing. The catalogue must outlive the download.
VideoDownloads::EndListener CatalogueRecorder(CatalogueBackend& catalogue, const VideoRecord& record);

}  // namespace pelvaro
