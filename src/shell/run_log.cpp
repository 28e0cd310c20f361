#include "shell/run_log.h"

#include <mutex>

#include "platform/data_folder.h"
#include "platform/files.h"

namespace pelvaro {
namespace {

// Both writers (the GUI thread and the update job) insert at the top of the same file; one
// insertion must finish before the next reads the file.
std::mutex& LogMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

Text RunLog::fileName(const LocalDateTime& day) {
  LocalDateTime date{day.year, day.month, day.day, 0, 0, 0};
  return Gbk("运行日志") + DateTimeText(date) + ".txt";
}

void RunLog::write(const Text& message) { writeAt(DataFolder(), LocalNow(), message); }

void RunLog::writeAt(const Path& dataFolder, const LocalDateTime& now, const Text& message) {
  if (!FolderExists(dataFolder)) return;
  const Path path = JoinPath(dataFolder, GbkToUtf8(fileName(now)));
  std::string line = DateTimeText(now) + "   " + message + "\r\n";
  std::lock_guard lock(LogMutex());
  std::string content;
  if (PathExists(path)) {
    auto existing = ReadWholeFile(path);
    // An unreadable file is left alone rather than replaced by a single line.
    if (!existing) return;
    content = std::move(*existing);
  }
  // The whole new file goes through a temporary file and a rename: a crash in the middle
  // leaves the old diary, never a half-moved one.
  WriteFileAtomically(path, line + content);
}

}  // namespace pelvaro
