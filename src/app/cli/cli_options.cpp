#include "app/cli/cli_options.h"

#include <charconv>

#include "platform/window_layout.h"

namespace pelvaro::cli {
namespace {

namespace mw = main_window;

struct ValueFlag {
  std::string_view name;
  std::string_view control;  // empty: handled apart
  bool numeric;
};

constexpr ValueFlag kValueFlags[] = {
    {"--category", {}, false},
    {"--seed-link", mw::kSeedLink, false},
    {"--hours", mw::kHours, true},
    {"--min-duration", mw::kMinDuration, true},
    {"--max-duration", mw::kMaxDuration, true},
    {"--min-size", mw::kMinSize, true},
    {"--max-size", mw::kMaxSize, true},
    {"--pause-ms", mw::kPauseMs, true},
    {"--output", mw::kOutputFolder, false},
    {"--max-files", mw::kMaxFiles, true},
    {"--min-free-mb", mw::kMinFreeMb, true},
    {"--max-videos", {}, true},
    {"--max-seconds", {}, true},
    {"--export-csv", {}, false},
};

std::optional<std::int64_t> WholeNumber(std::string_view text) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

}  // namespace

std::string_view UsageText() {
  return R"(usage: pelvaro-cli [options]
Collects videos from the platform into the output folder, as the main window's start button
does, until a limit ends the run or Ctrl-C stops it at once.

  --category NAME        only videos of this category (default: all categories)
  --seed-link URL        the article link to start from when the service gives no seed
  --hours N              publish-time window in hours (default 300)
  --min-duration N       shortest video in seconds (default 6)
  --max-duration N       longest video in seconds (default 600)
  --min-size N           smallest file in MB (default 3)
  --max-size N           largest file in MB (default 1000)
  --pause-ms N           pause after each download in ms (default 1000)
  --output DIR           output folder (default: the data folder's video folder)
  --category-folders     save each video into a sub-folder named after its category
  --max-files N          pause while the output folder holds more videos (default 100)
  --min-free-mb N        pause while less space is free, in MB (default 800)
  --contribute           run the contribute job instead of the crawl
  --max-videos N         stop after N videos taken (with --contribute: N videos reported)
  --max-seconds N        stop after N seconds
  --retry-failed         try again the videos whose downloads failed too often
  --export-csv FILE      write every collected video of the catalogue as CSV and exit
  --stats                print the catalogue's videos and bytes per category and day,
                         and its failures per reason, and exit
  --help                 this text

Log lines go to stderr; at the end one summary line goes to stdout.
Exit status: 0 when a limit ended the run, 130 after Ctrl-C, 2 for a bad command line.
)";
}

ParseResult ParseCommandLine(const std::vector<std::string>& arguments) {
  ParseResult result;
  CliOptions& options = result.options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string_view argument = arguments[i];
    std::optional<std::string> inlineValue;
    if (const auto eq = argument.find('='); argument.starts_with("--") && eq != std::string_view::npos) {
      inlineValue = std::string(argument.substr(eq + 1));
      argument = argument.substr(0, eq);
    }
    if (argument == "--help" || argument == "-h") {
      options.help = true;
      continue;
    }
    if (argument == "--category-folders" || argument == "--contribute" || argument == "--stats" ||
        argument == "--retry-failed") {
      if (inlineValue) {
        result.error = std::string(argument) + " takes no value";
        return result;
      }
      (argument == "--contribute"     ? options.contribute
       : argument == "--stats"        ? options.stats
       : argument == "--retry-failed" ? options.retryFailed
                                      : options.categoryFolders) = true;
      continue;
    }
    const ValueFlag* flag = nullptr;
    for (const auto& candidate : kValueFlags) {
      if (candidate.name == argument) flag = &candidate;
    }
    if (flag == nullptr) {
      result.error = "unknown option '" + std::string(argument) + "'";
      return result;
    }
    std::string value;
    if (inlineValue) {
      value = *inlineValue;
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    } else {
      result.error = std::string(argument) + " needs a value";
      return result;
    }
    std::optional<std::int64_t> number;
    if (flag->numeric) {
      number = WholeNumber(value);
      if (!number) {
        result.error = std::string(argument) + " needs a whole number, not '" + value + "'";
        return result;
      }
    }
    if (argument == "--max-videos" || argument == "--max-seconds") {
      if (*number < 1) {
        result.error = std::string(argument) + " needs a number of at least 1, not '" + value + "'";
        return result;
      }
      (argument == "--max-videos" ? options.maxVideos : options.maxSeconds) = *number;
    } else if (argument == "--category") {
      options.category = value;
    } else if (argument == "--export-csv") {
      options.exportCsv = value;
    } else {
      options.controls.emplace_back(flag->control, value);
    }
  }
  return result;
}

}  // namespace pelvaro::cli
