#include "collector/catalogue_recorder.h"

#include <filesystem>
#include <system_error>

#include "collector/catalogue.h"
#include "collector/log_texts.h"
#include "collector/video_record.h"
#include "platform/files.h"

namespace pelvaro {

std::string AbsoluteNativePath(const Text& path) {
  std::error_code error;
  const auto absolute = std::filesystem::absolute(NativePath(path), error);
  return error ? NativePath(path) : absolute.string();
}

CatalogueVideo CatalogueRow(const VideoRecord& record, const VideoDownload& download) {
  return CatalogueRow(record, download.path(), download.bytes());
}

CatalogueVideo CatalogueRow(const VideoRecord& record, const Text& path, std::int64_t bytes) {
  CatalogueVideo row;
  row.docid = GbkToUtf8(record.docid);
  row.title = GbkToUtf8(record.title);
  row.category = GbkToUtf8(record.category);
  row.published = GbkToUtf8(record.date);
  row.durationS = ReadLenientInt(record.duration);
  row.width = ReadLenientInt(record.width);
  row.height = ReadLenientInt(record.height);
  row.sizeBytes = bytes;
  row.url = GbkToUtf8(record.url);
  row.path = AbsoluteNativePath(path);
  row.takenAt = LocalIsoTime();
  return row;
}

VideoDownloads::EndListener CatalogueRecorder(CatalogueBackend& catalogue, const VideoRecord& record) {
  return [&catalogue, record](const VideoDownload& download) {
    if (download.state() == VideoDownload::State::Complete) {
      std::shared_ptr<ClaimFile> claim = download.claim();
      auto stored = [claim] {
        if (claim) claim->remove();
      };
      // Without a usable catalogue the record would only wait for a row nobody writes.
      if (!catalogue.recordVideo(CatalogueRow(record, download), stored) && !catalogue.usable()) stored();
      return;
    }
    // The fleet's claim goes back before the failure counts, so another collector may try.
    catalogue.release(GbkToUtf8(download.docid()));
    const DownloadFailure failure = download.failure();
    if (IsEnvironmentFailure(failure) || failure.kind == FailureKind::FileExists ||
        failure.kind == FailureKind::SizeOutsideLimits) {
      return;
    }
    catalogue.recordFailure(GbkToUtf8(download.docid()), failure);
  };
}

}  // namespace pelvaro
