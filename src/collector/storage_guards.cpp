#include "collector/storage_guards.h"

#include <cctype>

#include "collector/collector_settings.h"
#include "collector/crawl_log.h"
#include "collector/log_texts.h"
#include "collector/output_layout.h"
#include "platform/files.h"

namespace pelvaro {
namespace {

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  auto same = [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  };
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

constexpr std::string_view kVideoPattern = "*.mp4";
constexpr double kSpaceTolerance = 0.0000001;

}  // namespace

std::int64_t CountMatchingFiles(const Path& folder, std::string_view pattern) {
  std::int64_t count = 0;
  for (const Path& name : ListFiles(folder, "")) {
    if (WildcardMatch(pattern, name.bytes())) ++count;
  }
  return count;
}

std::int64_t CountFinishedVideos(const Path& outputFolder) {
  std::int64_t count = 0;
  ForEachVideoFolder(outputFolder, true, [&](const std::vector<Path>& below) {
    Path folder = outputFolder;
    for (const Path& name : below) folder = JoinPath(folder, name);
    count += CountMatchingFiles(folder, kVideoPattern);
  });
  return count;
}

double FreeSpaceMb(const Path& outputFolder) {
  const auto bytes = FreeSpaceBytes(outputFolder);
  const double kb = bytes ? static_cast<double>(*bytes / 1024) : -1.0;
  return kb / 1024.0;
}

bool RunStorageGuards(CrawlContext& context) {
  const CollectorSettings settings(context.form);
  while (CountFinishedVideos(settings.outputFolder()) > settings.maxFiles()) {
    AppendLogText(context.form, collector_text::kTooManyFiles);
    if (!Pause(context.timing.guardWait)) return false;
  }
  while (FreeSpaceMb(settings.outputFolder()) - static_cast<double>(settings.minFreeMb()) <
         -kSpaceTolerance) {
    AppendLogText(context.form, collector_text::kLowDiskSpace);
    if (!Pause(context.timing.guardWait)) return false;
  }
  return true;
}

}  // namespace pelvaro
