#pragma once

#include <chrono>

#include "platform/worker.h"

namespace pelvaro {

// Every pause of the crawl. The defaults are the program's; tests shorten them so that a pass,
// a guard pause, a row shown before it goes or a download wait does not take real time.
struct CrawlTiming {
  std::chrono::milliseconds passWait{5000};        // between two passes
  std::chrono::milliseconds guardWait{15000};      // a storage guard's pause
  std::chrono::milliseconds progressStep{1000};    // one step of the wait for a download
  int progressSteps = 300;                         // the most steps before the wait gives up
  std::chrono::milliseconds step{20};              // between two steps of an answer or an entry
  std::chrono::milliseconds pageStep{80};          // before and after reading an article page
  std::chrono::milliseconds rowShown{200};         // a row passed over, rejected or about to download
  std::chrono::milliseconds rowShownBriefly{100};  // a row whose file exists or was repaired
};

// The program's timing; a test sets PELVARO_TEST_CRAWL_PAUSE_MS for a whole program to make the
// short pauses of an answer and an entry (step, pageStep, rowShown, rowShownBriefly) that many
// milliseconds each.
CrawlTiming CrawlTimingFromEnvironment();

// A pause of the crawl; false when the calling worker was asked to stop, and then the caller
// returns without a further step.
inline bool Pause(std::chrono::milliseconds duration) { return WaitFor(duration); }
inline bool Pause(int milliseconds) { return WaitFor(std::chrono::milliseconds(milliseconds)); }

}  // namespace pelvaro
