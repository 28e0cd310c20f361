#include "collector/history.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "collector/log_texts.h"
#include "platform/data_folder.h"
#include "platform/files.h"
#include "platform/folder_handle.h"
#include "platform/safe_name.h"
#include "web/download_failure.h"

namespace pelvaro {

Path HistoryFolder() { return JoinPath(RunDir(), "pelvarolishi"); }

Path HistoryMarkerPath(const Text& docid) { return JoinPath(HistoryFolder(), SafeNameOfGbk(docid, 0)); }

bool HistoryHolds(const Text& docid) { return FileExists(HistoryMarkerPath(docid)); }

int RecordHistory(const Text& docid) {
  int error = 0;
  const FolderHandle folder = FolderHandle::Open(HistoryFolder(), {}, &error);
  if (!folder.valid()) return error != 0 ? error : EIO;
  const Path name = SafeNameOfGbk(docid, 0);
  // A marker is an empty file: anything else of its name (a link, content written by hand) is
  // replaced by one, without ever writing through it.
  struct stat st {};
  if (::fstatat(folder.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      !S_ISREG(st.st_mode) && !WriteFileAtomically(HistoryMarkerPath(docid), "")) {
    return LastFileError() != 0 ? LastFileError() : EIO;
  }
  return folder.CreateEmptyFileDurably(name);
}

int HistoryFolderError() { return FolderWriteError(HistoryFolder()); }

Text HaltText(const DownloadFailure& failure) {
  return Gbk(collector_text::kHaltedBecause) + FailureText(failure) + Gbk("：") + PathText(HistoryFolder()) +
         Gbk(collector_text::kHaltedKeepsFile);
}

}  // namespace pelvaro
