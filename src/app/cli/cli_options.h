#pragma once
// The command line of pelvaro-cli. Each setting flag names the main-window control it sets; the
// crawl then reads the control as it would in the window.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelvaro::cli {

struct CliOptions {
  // Control name (UTF-8) and the value to put into it (UTF-8, as typed).
  std::vector<std::pair<std::string_view, std::string>> controls;
  std::optional<std::string> category;  // selected in the category box
  bool categoryFolders = false;         // clears the "no category sub-folder" box
  bool contribute = false;
  bool seedLinkGiven = false;
  bool log = false;    // log lines on stderr even when it is a terminal
  bool quiet = false;  // only errors and the summary
  bool json = false;   // stdout: one JSON object per ended video, then the summary object
  std::optional<std::int64_t> maxVideos;
  std::optional<std::int64_t> maxSeconds;
  bool help = false;
  bool version = false;
  std::optional<std::string> exportCsv;  // the file to write the catalogue to, "-" for stdout
  bool stats = false;
  bool retryFailed = false;
  std::string catalogueUri;  // empty: the data folder's catalogue file
};

struct ParseResult {
  CliOptions options;
  std::string error;  // not empty: the message for a bad command line
};

ParseResult ParseCommandLine(const std::vector<std::string>& arguments);

std::string_view UsageText();

// The exit statuses of pelvaro-cli.
inline constexpr int kExitDone = 0;        // a limit ended the run (or a command finished)
inline constexpr int kExitFailed = 1;      // a catalogue command could not do its work
inline constexpr int kExitBadStart = 2;    // bad command line, or a folder that cannot be written
inline constexpr int kExitNoPlatform = 3;  // the run ended and the platform never answered

}  // namespace pelvaro::cli
