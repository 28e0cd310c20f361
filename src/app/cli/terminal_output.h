#pragma once
// What pelvaro-cli writes to stderr while a crawl runs: the log lines as the log box receives
// them (in UTF-8), and on a terminal one progress bar for the download under way, redrawn in
// place and ended when the next log line comes.

#include <mutex>

#include "platform/text.h"

namespace pelvaro::cli {

class TerminalOutput {
 public:
  explicit TerminalOutput(bool showProgress) : showProgress_(showProgress) {}

  // One line of the log box (GBK; CR LF inside it become line ends).
  void logLine(const Text& line);
  // A status cell of the list: a percentage text ("45.5%") redraws the bar.
  void statusCell(const Text& value);

 private:
  void endBar();

  std::mutex mutex_;
  bool showProgress_;
  bool barShown_ = false;
};

}  // namespace pelvaro::cli
