#include "app/cli/terminal_output.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include "app/cli/terminal_text.h"

namespace pelvaro::cli {

TerminalOutput::Mode TerminalOutput::ModeFor(bool log, bool quiet, std::FILE* stream) {
  if (quiet) return Mode::Quiet;
  return isatty(fileno(stream)) == 1 && !log ? Mode::Screen : Mode::Log;
}

bool TerminalOutput::terminal() const { return isatty(fileno(stream_)) == 1; }

void TerminalOutput::clearStatus() {
  if (status_.empty()) return;
  std::fputs("\r\033[K", stream_);
  status_.clear();
}

std::size_t TerminalOutput::columns() const {
  winsize size{};
  if (ioctl(fileno(stream_), TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col - 1u;
  return 79;
}

void TerminalOutput::logLine(const Text& line) {
  if (mode_ != Mode::Log) return;
  const std::string utf8 = GbkToUtf8(line);
  std::string text;
  // Each part between line ends (CR LF or LF) is stripped on its own, so the lines survive.
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = utf8.find('\n', start);
    std::string_view part = std::string_view(utf8).substr(start, end == std::string::npos ? end : end - start);
    if (part.ends_with('\r') && end != std::string::npos) part.remove_suffix(1);
    text += StripControls(part);
    text += '\n';
    if (end == std::string::npos) break;
    start = end + 1;
  }
  std::lock_guard lock(mutex_);
  std::fputs(text.c_str(), stream_);
  std::fflush(stream_);
}

void TerminalOutput::write(const std::string& utf8) {
  const std::string text = StripControls(utf8) + "\n";
  std::lock_guard lock(mutex_);
  const std::string shown = status_;
  clearStatus();
  std::fputs(text.c_str(), stream_);
  if (!shown.empty() && !finished_) {
    std::fputs(shown.c_str(), stream_);
    status_ = shown;
  }
  std::fflush(stream_);
}

void TerminalOutput::line(const std::string& utf8) {
  if (mode_ != Mode::Quiet) write(utf8);
}

void TerminalOutput::error(const std::string& utf8) { write(utf8); }

void TerminalOutput::status(const std::string& utf8) {
  if (mode_ != Mode::Screen) return;
  std::string text = FitWidth(StripControls(utf8), columns());
  if (text.empty()) text.push_back(' ');
  std::lock_guard lock(mutex_);
  if (finished_ || text == status_) return;
  std::fputs("\r\033[K", stream_);
  std::fputs(text.c_str(), stream_);
  std::fflush(stream_);
  status_ = text;
}

void TerminalOutput::finish() {
  std::lock_guard lock(mutex_);
  finished_ = true;
  // Also when no status shows: the terminal may have echoed "^C" where it stood.
  if (mode_ == Mode::Screen) std::fputs("\r\033[K", stream_);
  status_.clear();
  std::fflush(stream_);
}

}  // namespace pelvaro::cli
