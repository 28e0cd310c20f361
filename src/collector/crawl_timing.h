#pragma once

#include <chrono>

#include "platform/worker.h"

namespace pelvaro {

// The long waits of the crawl. The defaults are the program's; tests shorten them so that a
// pass, a guard pause or a download wait does not take real seconds. The short pauses between
// the steps of an entry (20 to 200 ms) are fixed.
struct CrawlTiming {
  std::chrono::milliseconds passWait{5000};      // between two passes
  std::chrono::milliseconds guardWait{15000};    // a storage guard's pause
  std::chrono::milliseconds progressStep{1000};  // one step of the wait for a download
  int progressSteps = 300;                       // the most steps before the wait gives up
};

// A pause of the crawl; false when the calling worker was asked to stop, and then the caller
// returns without a further step.
inline bool Pause(std::chrono::milliseconds duration) { return WaitFor(duration); }
inline bool Pause(int milliseconds) { return WaitFor(std::chrono::milliseconds(milliseconds)); }

}  // namespace pelvaro
