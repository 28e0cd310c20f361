#include "collector/catalogue_recorder.h"

#include <filesystem>
#include <system_error>

#include "collector/catalogue.h"
#include "collector/log_texts.h"
#include "collector/video_record.h"
#include "platform/files.h"

namespace pelvaro {

std::string FailureReason(const VideoDownload& download) { return GbkToUtf8(download.failureText()); }

CatalogueVideo CatalogueRow(const VideoRecord& record, const VideoDownload& download) {
  CatalogueVideo row;
  row.docid = GbkToUtf8(record.docid);
  row.title = GbkToUtf8(record.title);
  row.category = GbkToUtf8(record.category);
  row.published = GbkToUtf8(record.date);
  row.durationS = ReadLenientInt(record.duration);
  row.width = ReadLenientInt(record.width);
  row.height = ReadLenientInt(record.height);
  row.sizeBytes = download.bytes();
  row.url = GbkToUtf8(record.url);
  std::error_code error;
  const auto absolute = std::filesystem::absolute(NativePath(download.path()), error);
  row.path = error ? NativePath(download.path()) : absolute.string();
  row.takenAt = LocalIsoTime();
  return row;
}

VideoDownloads::EndListener CatalogueRecorder(Catalogue& catalogue, const VideoRecord& record) {
  return [&catalogue, record](const VideoDownload& download) {
    if (download.state() == VideoDownload::State::Complete) {
      catalogue.recordVideo(CatalogueRow(record, download));
    } else {
      catalogue.recordFailure(GbkToUtf8(download.docid()), FailureReason(download));
    }
  };
}

}  // namespace pelvaro
