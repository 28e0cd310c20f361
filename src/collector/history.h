#pragma once
// How the collector remembers what it took: a folder of empty marker files, one per docid,
// next to the program; a marker means the video is complete on disk. The docid is made safe
// before it becomes a file name, so no marker lands outside the folder.

#include "platform/path.h"
#include "platform/text.h"

namespace pelvaro {

struct DownloadFailure;

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

// The reason the crawl halts when a marker cannot be written (GBK): the failure, the history
// folder, and that the complete file stays for the next run.
Text HaltText(const DownloadFailure& failure);

}  // namespace pelvaro
