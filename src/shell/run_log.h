#pragma once
// The shell's diary: one GBK file per local calendar day under the data folder, newest line
// first, so that a user or the vendor can see how far a start got.

#include "platform/path.h"
#include "platform/text.h"
#include "shell/date_time_text.h"

namespace pelvaro {

class RunLog {
 public:
  // Inserts "<DateTimeText(now)>   <message>" CR LF at the top of today's file in DataFolder().
  // Never creates the data folder (a fresh installation loses its first lines) and never
  // reports a failure.
  static void write(const Text& message);

  // The same with the folder and the moment given. The day's file and the line's stamp come
  // from the same moment, so a write at midnight never lands in the previous day's file.
  static void writeAt(const Path& dataFolder, const LocalDateTime& now, const Text& message);

  // "运行日志" + the date + ".txt" (GBK).
  static Text fileName(const LocalDateTime& day);
};

}  // namespace pelvaro
