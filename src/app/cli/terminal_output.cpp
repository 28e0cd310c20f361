#include "app/cli/terminal_output.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace pelvaro::cli {

namespace {
constexpr int kBarWidth = 40;
}

void TerminalOutput::endBar() {
  if (!barShown_) return;
  std::fputs("\r\033[K", stderr);
  barShown_ = false;
}

void TerminalOutput::logLine(const Text& line) {
  std::string utf8 = GbkToUtf8(line);
  std::string out;
  out.reserve(utf8.size() + 1);
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
    out += utf8[i];
  }
  out += '\n';
  std::lock_guard lock(mutex_);
  endBar();
  std::fputs(out.c_str(), stderr);
  std::fflush(stderr);
}

void TerminalOutput::statusCell(const Text& value) {
  if (!showProgress_ || value.empty() || value.back() != '%') return;
  const double percent = std::strtod(value.c_str(), nullptr);
  const int filled = std::clamp(static_cast<int>(percent / 100.0 * kBarWidth + 0.5), 0, kBarWidth);
  std::string bar = "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
                    std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] ";
  char number[32];
  std::snprintf(number, sizeof number, "%5.1f%%", percent);
  bar += number;
  std::lock_guard lock(mutex_);
  std::fputs(bar.c_str(), stderr);
  std::fflush(stderr);
  barShown_ = true;
}

}  // namespace pelvaro::cli
