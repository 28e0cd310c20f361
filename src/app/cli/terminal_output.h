#pragma once
// What pelvaro-cli writes to stderr. On a terminal ("screen"): lines of their own (one per
// video, notes) and below them one live status line, redrawn in place and never left glued to
// what follows. Otherwise: the log box's lines as the window receives them (in UTF-8), for
// scripts and tests. Everything is stripped of control characters on the way out.

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/text.h"

namespace pelvaro::cli {

class TerminalOutput {
 public:
  // `screen`: stderr is a terminal and the log was not asked for.
  explicit TerminalOutput(bool screen, std::FILE* stream = stderr) : screen_(screen), stream_(stream) {}

  bool screen() const { return screen_; }

  // One line of the log box (GBK; the CR LF inside it become line ends). Written only when
  // not on screen.
  void logLine(const Text& line);
  // A line of its own (UTF-8), in either mode; on screen above the status line.
  void line(const std::string& utf8);
  // The live status line (UTF-8), on screen only; cut to the terminal's width.
  void status(const std::string& utf8);
  // Clears the status line, so that what follows (the summary) starts on a line of its own.
  void finish();

 private:
  void clearStatus();
  std::size_t columns() const;

  std::mutex mutex_;
  const bool screen_;
  std::FILE* const stream_;
  std::string status_;  // the status line shown, empty when none
};

}  // namespace pelvaro::cli
