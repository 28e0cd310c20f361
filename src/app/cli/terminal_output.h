#pragma once
// What pelvaro-cli writes to stderr, in one of three modes:
// - Screen (stderr is a terminal, no --log): lines of their own (one per video, notes) and
//   below them one live status line, redrawn in place and never left glued to what follows;
// - Log (not a terminal, or --log): the log box's lines as the window receives them (UTF-8),
//   and the notes, for scripts and tests;
// - Quiet (--quiet): errors only.
// Errors are written in every mode. Everything is stripped of control characters on the way
// out.

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/text.h"

namespace pelvaro::cli {

class TerminalOutput {
 public:
  enum class Mode { Screen, Log, Quiet };

  explicit TerminalOutput(Mode mode, std::FILE* stream = stderr) : mode_(mode), stream_(stream) {}
  // Screen when `stream` is a terminal and neither --log nor --quiet asks otherwise.
  static Mode ModeFor(bool log, bool quiet, std::FILE* stream = stderr);

  bool screen() const { return mode_ == Mode::Screen; }
  bool logs() const { return mode_ == Mode::Log; }
  // Whether the stream is a terminal (in any mode).
  bool terminal() const;
  // The columns a line may take on the terminal (one less than its width, so that a full line
  // never wraps); 79 when the width is unknown.
  std::size_t columns() const;

  // One line of the log box (GBK; the CR LF inside it become line ends). Log mode only.
  void logLine(const Text& line);
  // A line of its own (UTF-8), in Screen and Log mode; on screen above the status line.
  void line(const std::string& utf8);
  // An error or warning (UTF-8), in every mode.
  void error(const std::string& utf8);
  // The live status line (UTF-8), on screen only; cut to the terminal's width.
  void status(const std::string& utf8);
  // Clears the status line for good, so that what follows (the summary) starts on a line of
  // its own and no later status shows.
  void finish();

 private:
  void write(const std::string& utf8);
  void clearStatus();

  std::mutex mutex_;
  const Mode mode_;
  std::FILE* const stream_;
  std::string status_;  // the status line shown, empty when none
  bool finished_ = false;
};

}  // namespace pelvaro::cli
