#include "collector/finished_repair.h"

#include <memory>
#include <set>
#include <vector>

#include "collector/catalogue.h"
#include "collector/catalogue_recorder.h"
#include "collector/docid_claim.h"
#include "collector/history.h"
#include "platform/claim_file.h"
#include "platform/files.h"
#include "platform/safe_name.h"

namespace pelvaro {
namespace {

// The row of a file known only by its record: the title is what its file name kept of it.
CatalogueVideo RowFromRecord(const FinishedFile& file) {
  CatalogueVideo row;
  row.docid = GbkToUtf8(file.docid);
  std::string name = file.path.name().bytes();
  if (name.size() > 4 && name.ends_with(".mp4")) name.resize(name.size() - 4);
  row.title = ValidUtf8(name);
  row.sizeBytes = static_cast<std::int64_t>(file.size);
  row.path = AbsoluteNativePath(file.path);
  row.takenAt = LocalIsoTime(FileModifiedTime(file.path).value_or(0));
  return row;
}

}  // namespace

RepairCount RepairFinishedFiles(CatalogueBackend* catalogue) {
  RepairCount count;
  const bool rows = catalogue != nullptr && catalogue->usable();
  std::vector<CatalogueVideo> missing;
  std::vector<std::shared_ptr<ClaimFile>> recordsOfMissing;
  std::set<Path> recorded;  // marker names the records cover
  for (const Path& name : ListFiles(ClaimFolder(), "")) {
    auto taken = ClaimFile::Take(JoinPath(ClaimFolder(), name));
    if (!taken) continue;  // a live claim of another copy
    auto claim = std::make_shared<ClaimFile>(std::move(*taken));
    const auto finished = ParseFinishedRecord(claim->record());
    if (!finished) {
      claim->remove();
      continue;
    }
    if (!HistoryHolds(finished->docid)) {
      // A record is written before the rename: a file that is not there, or not at its size,
      // was never completed under that name.
      if (FileSizeBytes(finished->path) != finished->size) {
        claim->remove();
        continue;
      }
      if (RecordHistory(finished->docid) != 0) break;
      ++count.markers;
    }
    recorded.insert(SafeNameOfGbk(finished->docid, 0));
    const auto row = rows ? catalogue->video(GbkToUtf8(finished->docid)) : std::nullopt;
    if (rows && !row) {
      missing.push_back(RowFromRecord(*finished));
      recordsOfMissing.push_back(claim);
    } else if (rows && row->path.empty()) {
      // Another copy gave the marker a row before this record's own could be written.
      catalogue->recordVideo(RowFromRecord(*finished), [claim] { claim->remove(); });
    } else {
      claim->remove();
    }
  }
  if (!rows) return count;
  const std::set<std::string> known = catalogue->videoDocids();
  for (const Path& marker : ListFiles(HistoryFolder(), "")) {
    if (marker.bytes().starts_with(kScratchPrefix) || recorded.count(marker) > 0 ||
        known.count(ValidUtf8(marker.bytes())) > 0) {
      continue;
    }
    CatalogueVideo row;
    row.docid = ValidUtf8(marker.bytes());
    row.takenAt = LocalIsoTime(FileModifiedTime(JoinPath(HistoryFolder(), marker)).value_or(0));
    missing.push_back(row);
  }
  const int added = catalogue->addMissingVideos(missing);
  if (added >= 0) {
    count.rows = added;
    for (const auto& claim : recordsOfMissing) claim->remove();
  }
  return count;
}

}  // namespace pelvaro
