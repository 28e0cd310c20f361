#pragma once
// The live status line of pelvaro-cli, made to fit the terminal: its parts by importance,
// the least important ones shortened and then left out until the line fits, so that what
// matters most (why the platform gives nothing, the current download's progress, the videos
// taken) stays visible from 40 columns up.

#include <cstdint>
#include <optional>
#include <string>

namespace pelvaro::cli {

struct CrawlStatus {
  int pass = 0;  // passes so far
  int entry = 0;
  int entries = 0;
  std::int64_t taken = 0, present = 0, rejected = 0, failed = 0;
  std::optional<double> percent;  // the current download's progress
  // When the last pass got no answer: the platform's host and the reason (UTF-8).
  std::string unansweredHost, unansweredReason;
};

// The status line (UTF-8) within `columns` terminal columns, wide characters counting two.
std::string StatusLine(const CrawlStatus& status, std::size_t columns);

}  // namespace pelvaro::cli
