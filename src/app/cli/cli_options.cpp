#include "app/cli/cli_options.h"

#include <charconv>

#include "collector/catalogue_choice.h"
#include "platform/window_layout.h"

namespace pelvaro::cli {
namespace {

namespace mw = main_window;

struct ValueFlag {
  std::string_view name;
  std::string_view control;  // empty: handled apart
  bool numeric;
  std::int64_t min = 0;
  std::int64_t max = 0;
  std::string_view unit = {};
};

// The ranges keep every value meaningful and far from overflow where the crawl turns it into
// bytes, milliseconds or a point in time.
constexpr ValueFlag kValueFlags[] = {
    {"--category", {}, false},
    {"--seed-link", mw::kSeedLink, false},
    {"--hours", mw::kHours, true, 0, 1'000'000, "hours"},
    {"--min-duration", mw::kMinDuration, true, 0, 1'000'000, "seconds"},
    {"--max-duration", mw::kMaxDuration, true, 0, 1'000'000, "seconds"},
    {"--min-size", mw::kMinSize, true, 0, 10'000'000, "MB"},
    {"--max-size", mw::kMaxSize, true, 0, 10'000'000, "MB"},
    {"--pause-ms", mw::kPauseMs, true, 0, 86'400'000, "ms"},
    {"--output", mw::kOutputFolder, false},
    {"--max-files", mw::kMaxFiles, true, 0, 1'000'000'000, "videos"},
    {"--min-free-mb", mw::kMinFreeMb, true, 0, 1'000'000'000, "MB"},
    {"--max-videos", {}, true, 1, 1'000'000'000, "videos"},
    {"--max-seconds", {}, true, 1, 315'360'000, "seconds"},
    {"--export-csv", {}, false},
    {"--catalogue", {}, false},
};

// The flag's value as a number within its range, or the message that says why not.
std::string CheckNumber(const ValueFlag& flag, const std::string& value, std::int64_t& number) {
  const char* end = value.data() + value.size();
  auto [ptr, ec] = std::from_chars(value.data(), end, number);
  const std::string range =
      std::to_string(flag.min) + " to " + std::to_string(flag.max) + " (" + std::string(flag.unit) + ")";
  if (value.empty() || ptr != end || (ec != std::errc() && ec != std::errc::result_out_of_range)) {
    return std::string(flag.name) + " needs a whole number from " + range + ", not '" + value + "'";
  }
  if (ec == std::errc::result_out_of_range || number < flag.min || number > flag.max) {
    return std::string(flag.name) + " must be from " + range + ", not '" + value + "'";
  }
  return {};
}

}  // namespace

std::string_view UsageText() {
  return R"(Usage: pelvaro-cli [OPTION]...
Collects videos from the platform into the output folder, as the main window's start button
does, until a limit ends the run or Ctrl-C stops it at once.

Options:
  --category NAME        only videos of this category (default: all categories)
  --seed-link URL        article link to start from when the service gives no seed
                         (default: none; --contribute needs one)
  --hours N              publish-time window, hours, 0 to 1000000 (default 300)
  --min-duration N       shortest video, seconds, 0 to 1000000 (default 6)
  --max-duration N       longest video, seconds, 0 to 1000000 (default 600)
  --min-size N           smallest file, MB, 0 to 10000000 (default 3)
  --max-size N           largest file, MB, 0 to 10000000 (default 1000)
  --pause-ms N           pause after each download, ms, 0 to 86400000 (default 1000)
  --output DIR           output folder (default: the "video" folder beside the program, or
                         for an installed copy the videos folder + "/Pelvaro"); it must
                         exist or be creatable, and writable
  --category-folders     save each video into a sub-folder named after its category
                         (default: off)
  --max-files N          pause while the output folder holds more videos, 0 to 1000000000
                         (default 100)
  --min-free-mb N        pause while less space is free, MB, 0 to 1000000000 (default 800)
  --contribute           run the contribute job from --seed-link instead of the crawl
  --max-videos N         stop after N videos taken (with --contribute: N reported),
                         1 to 1000000000 (default: no limit)
  --max-seconds N        stop after N seconds, 1 to 315360000 (default: no limit)
  --retry-failed         try again the videos whose downloads failed too often
  --catalogue URI        share one catalogue with other collectors on a PostgreSQL server,
                         URI "postgresql://user@host:port/database" (default: the file
                         catalogue.db in the data folder)
  --export-csv FILE      write every collected video of the catalogue as CSV and exit
                         (FILE "-": to stdout)
  --stats                print the catalogue's videos and bytes per category and day,
                         and its failures per reason, and exit
  --json                 stdout carries JSON Lines only: one object per video handled,
                         then {"summary": {...}}
  -q, --quiet            only errors and the summary
  --log                  write the program's log lines to stderr even on a terminal
                         (default: on a terminal one line per video and a status line)
  -h, --help             this text
  --version              the program's version

A limit ends the run as the stop button does: a download under way gets 5 seconds to finish,
is then stopped and its partial file removed. At the end one summary line goes to stdout:
"summary taken=N present=N rejected=N failed=N bytes=N seconds=S reject_category=N ...".
With --json each video handled gives one line {"docid", "outcome" (taken, present, claimed
by another collector of a shared catalogue, rejected or failed), "title", "seconds"}, with "path" and "bytes" for a video taken and "reason" for
one rejected or failed, and the last line is {"summary": {"taken", "present", "rejected",
"failed", "bytes", "seconds"}}.

Data folder: $PELVARO_RUN_DIR, else the program's folder when it is writable and no system
folder, else $XDG_DATA_HOME/pelvaro-collector (default ~/.local/share/pelvaro-collector).

Exit status:
  0    a limit ended the run (or --export-csv, --stats finished)
  1    --export-csv or --stats could not read or write the catalogue
  2    a bad command line, a data, output or history folder that cannot be written (found
       before the first request), or a history folder that stopped taking markers during the
       run (the crawl then stops at once)
  3    the run ended and the platform never answered during it
  130  stopped by Ctrl-C (SIGINT)
  143  stopped by SIGTERM
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
    if (argument == "--version") {
      options.version = true;
      continue;
    }
    if (!argument.starts_with("-")) {
      result.error = "unexpected argument '" + std::string(argument) + "': pelvaro-cli takes options only";
      return result;
    }
    if (argument == "--category-folders" || argument == "--contribute" || argument == "--log" ||
        argument == "--stats" || argument == "--retry-failed" || argument == "--quiet" || argument == "-q" ||
        argument == "--json") {
      if (inlineValue) {
        result.error = std::string(argument) + " takes no value";
        return result;
      }
      (argument == "--contribute"                  ? options.contribute
       : argument == "--log"                       ? options.log
       : argument == "--stats"                     ? options.stats
       : argument == "--retry-failed"              ? options.retryFailed
       : argument == "--json"                      ? options.json
       : argument == "--quiet" || argument == "-q" ? options.quiet
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
    std::int64_t number = 0;
    if (flag->numeric) {
      result.error = CheckNumber(*flag, value, number);
      if (!result.error.empty()) return result;
    }
    if (argument == "--max-videos" || argument == "--max-seconds") {
      (argument == "--max-videos" ? options.maxVideos : options.maxSeconds) = number;
    } else if (argument == "--category") {
      options.category = value;
    } else if (argument == "--export-csv") {
      options.exportCsv = value;
    } else if (argument == "--catalogue") {
      if (!IsSharedCatalogueUri(value)) {
        result.error =
            "--catalogue needs a URI that starts with postgresql:// or postgres://, not '" + value + "'";
        return result;
      }
      options.catalogueUri = value;
    } else {
      if (argument == "--seed-link") options.seedLinkGiven = true;
      options.controls.emplace_back(flag->control, value);
    }
  }
  if (options.log && options.quiet) result.error = "--log and --quiet exclude each other";
  return result;
}

}  // namespace pelvaro::cli
