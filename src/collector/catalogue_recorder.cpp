#include "collector/catalogue_recorder.h"

#include <filesystem>
#include <system_error>

#include "collector/catalogue.h"
#include "collector/log_texts.h"
#include "collector/video_record.h"
#include "platform/files.h"

namespace pelvaro {

std::string AbsoluteNativePath(const Path& path) {
  std::error_code error;
  const auto absolute = std::filesystem::absolute(std::filesystem::path(path.bytes()), error);
  return error ? path.bytes() : absolute.string();
}

CatalogueVideo CatalogueRow(const VideoRecord& record, const Path& path, std::int64_t bytes) {
  CatalogueVideo row;
  row.docid = GbkToUtf8(record.docid);
  row.title = TitleUtf8(record);
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

void CatalogueRecorder::onEnd(const DownloadEnd& end) {
  CatalogueBackend* catalogue = catalogue_.load();
  if (end.complete()) {
    std::shared_ptr<ClaimFile> claim = end.claim;
    auto stored = [claim] {
      if (claim) claim->remove();
    };
    // Without a usable catalogue the record would only wait for a row nobody writes.
    if (catalogue == nullptr ||
        (!catalogue->recordVideo(CatalogueRow(end.video, end.path, end.bytes), stored) &&
         !catalogue->usable())) {
      stored();
    }
    return;
  }
  if (catalogue == nullptr) return;
  // The fleet's claim goes back before the failure counts, so another collector may try.
  catalogue->release(GbkToUtf8(end.docid));
  const DownloadFailure& failure = end.failure;
  if (end.stopped || IsEnvironmentFailure(failure) || failure.kind == FailureKind::FileExists ||
      failure.kind == FailureKind::SizeOutsideLimits) {
    return;
  }
  catalogue->recordFailure(GbkToUtf8(end.docid), failure);
}

}  // namespace pelvaro
