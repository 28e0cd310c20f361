#include "collector/crawl_timing.h"

#include <cstdlib>

namespace pelvaro {

CrawlTiming CrawlTimingFromEnvironment() {
  CrawlTiming timing;
  const char* text = std::getenv("PELVARO_TEST_CRAWL_PAUSE_MS");
  if (text == nullptr || *text == '\0') return timing;
  char* end = nullptr;
  const long long ms = std::strtoll(text, &end, 10);
  if (*end != '\0' || ms <= 0 || ms > 60'000) return timing;
  const std::chrono::milliseconds pause(ms);
  timing.step = timing.pageStep = timing.rowShown = timing.rowShownBriefly = pause;
  return timing;
}

}  // namespace pelvaro
