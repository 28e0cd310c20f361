#include "app/cli/status_line.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/cli/terminal_text.h"

namespace pelvaro::cli {
namespace {

constexpr int kBarWidth = 10;
constexpr std::string_view kSeparator = " | ";

struct Part {
  std::string full;
  std::string compact;  // empty: none
  int rank;             // the higher, the sooner it goes
  bool shortened = false;
  bool shown = true;

  const std::string& text() const { return shortened ? compact : full; }
};

std::string Percent(double percent) {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f%%", percent);
  return text;
}

std::string Bar(double percent) {
  const int filled = static_cast<int>(percent / 100.0 * kBarWidth + 0.5);
  return "[" + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " + Percent(percent);
}

std::size_t Width(const std::vector<Part>& parts) {
  std::size_t width = 0;
  bool first = true;
  for (const Part& part : parts) {
    if (!part.shown) continue;
    width += DisplayWidth(part.text()) + (first ? 0 : kSeparator.size());
    first = false;
  }
  return width;
}

}  // namespace

std::string StatusLine(const CrawlStatus& status, std::size_t columns) {
  std::vector<Part> parts;
  if (!status.unansweredReason.empty()) {
    parts.push_back({"无法连接平台 " + status.unansweredHost + "：" + status.unansweredReason,
                     "平台 " + status.unansweredHost + "：" + status.unansweredReason, 0});
  }
  const std::string entries = std::to_string(status.entry) + "/" + std::to_string(status.entries);
  parts.push_back({"第" + std::to_string(status.pass) + "轮 " + entries, entries, 4});
  parts.push_back({"已采集 " + std::to_string(status.taken), {}, 2});
  parts.push_back({"已存在 " + std::to_string(status.present), {}, 6});
  parts.push_back({"不符 " + std::to_string(status.rejected), {}, 5});
  parts.push_back({"失败 " + std::to_string(status.failed), {}, 3});
  if (status.percent) {
    const double percent = std::clamp(*status.percent, 0.0, 100.0);
    parts.push_back({Bar(percent), Percent(percent), 1});
  }
  // Each step shortens the least important part still shown, or leaves it out.
  while (Width(parts) > columns) {
    Part* last = nullptr;
    for (Part& part : parts) {
      if (part.shown && (last == nullptr || part.rank >= last->rank)) last = &part;
    }
    if (last == nullptr ||
        std::count_if(parts.begin(), parts.end(), [](const Part& p) { return p.shown; }) == 1) {
      if (last != nullptr && !last->compact.empty() && !last->shortened) {
        last->shortened = true;
        continue;
      }
      break;
    }
    if (!last->compact.empty() && !last->shortened) {
      last->shortened = true;
    } else {
      last->shown = false;
    }
  }
  std::string line;
  for (const Part& part : parts) {
    if (!part.shown) continue;
    if (!line.empty()) line += kSeparator;
    line += part.text();
  }
  return FitWidth(line, columns);
}

}  // namespace pelvaro::cli
