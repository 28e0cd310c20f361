#pragma once
// The download stage of one video that passed the filters: its title, its claim, its place and
// the existence check, the download and the wait for it.

#include <cstdint>

#include "collector/crawl_context.h"
#include "platform/form.h"
#include "platform/text.h"
#include "web/download_failure.h"

namespace pelvaro {

struct VideoRecord;

// The user's limits as they stand when a download starts, and the free space then.
struct ProbedSizeLimits {
  std::int64_t minSizeMb = 0;
  std::int64_t maxSizeMb = 0;
  std::int64_t minFreeMb = 0;
  double freeMb = 0;
};
// Why the size the server announced for the file (its probe, not the answer's claim) refuses it:
// outside the size limits, more than the free space, or it would take the free space below the
// floor. None when it fits.
DownloadFailure ProbedSizeFailure(std::int64_t bytes, const ProbedSizeLimits& limits);

// The percentage shown in the row's status cell: "%.13g" of fraction × 100, then "%".
Text ProgressText(double fraction);

enum class TakeOutcome {
  Present,   // another copy of the program takes or took the docid: logged, row deleted
  ClaimedElsewhere,  // another collector of the fleet took or holds the docid: logged, row deleted
  Exists,    // the file exists or is being written: logged, row deleted
  Repaired,  // the file is one this program finished; its marker was missing and is written
  Complete,  // downloaded, renamed, marked
  Running,   // the wait gave up; the download goes on, is marked and reported when it completes
  Failed,    // no file and no marker; the row and the log say "下载失败：" and why
  Stopped,   // the worker was asked to stop
};

// The download stage of one video that passed the filters: the title from the article page
// when the answer had none, the docid's claim, the target file and its existence check, the
// download and the wait for it with its percentage in the row.
TakeOutcome TakeVideo(CrawlContext& context, RowHandle row, VideoRecord& record);

}  // namespace pelvaro
