#pragma once
// Where videos go and how the collector remembers what it took. The history is a folder of
// empty marker files, one per docid, next to the program; a marker means the video is complete
// on disk. Every name that comes from the network (docid, title, category) is made safe before
// it becomes part of a path, so nothing escapes the output and history folders.

#include <cstdint>
#include <vector>

#include "collector/crawl_context.h"
#include "platform/form.h"
#include "platform/path.h"
#include "platform/text.h"
#include "web/download_failure.h"

namespace pelvaro {

struct VideoRecord;

// The output folder until the user picks another: the data folder + "/video", or for an
// installed copy the user's videos folder + "/Pelvaro" (see platform/data_folder.h).
Path DefaultOutputFolder();

// The data folder + "/pelvarolishi".
Path HistoryFolder();
// The marker of a docid: the history folder + the docid made safe.
Path HistoryMarkerPath(const Text& docid);
// Whether the history holds the docid.
bool HistoryHolds(const Text& docid);
// Writes the docid's marker (an empty file), creating the folder when missing, and flushes the
// marker and the folder to the disk. 0, or the errno of the step that failed.
int RecordHistory(const Text& docid);
// The history folder's trouble when files cannot be made in it (0 when they can).
int HistoryFolderError();

// Whether the video is portrait: width read as an integer strictly below height.
bool IsPortrait(const VideoRecord& record);

// The folders below the output folder a video goes into: the category (unless noSubfolders),
// then "竖屏" for a portrait video; and the whole folder path.
std::vector<Path> TargetSubfolders(bool noSubfolders, const VideoRecord& record);
Path TargetFolder(const Path& outputFolder, bool noSubfolders, const VideoRecord& record);

// The UTF-8 title + ".mp4", the title made safe ("_" when empty) and short enough, as stored,
// for the partial file's name too. Titles that differ in a character the name keeps get
// different names.
Path VideoFileName(std::string_view utf8Title);

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

class VideoDownload;
struct DownloadFailure;
// The reason the crawl halts when a marker cannot be written (GBK): the failure, the history
// folder, and that the complete file stays for the next run.
Text HaltText(const DownloadFailure& failure);
// "下载失败：" and the download's reason, in the row's status cell and the log.
void ShowDownloadFailure(Form& form, RowHandle row, const VideoDownload& download);

// "视频下载目录无法写入：" + folder + "（" + the reason + "）" for an output folder that
// FolderWriteError refused with `error`.
Text OutputFolderProblem(const Path& folder, int error);

// The output-folder picker: the chosen folder becomes the content of the output box; when the
// user cancels, the default output folder does.
void PickOutputFolder(Form& form);

}  // namespace pelvaro
