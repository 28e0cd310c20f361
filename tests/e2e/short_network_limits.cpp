// Short network limits and crawl pauses for every test here and every program it starts, so
// that broken and stalled downloads end in a test's seconds rather than in minutes. Set before any test runs;
// the program reads them at its first transfer.

#include <cstdlib>

namespace pelvaro::e2e {
namespace {

const bool kShortLimits = [] {
  setenv("PELVARO_TEST_RETRY_PAUSE_MS", "5", 0);
  setenv("PELVARO_TEST_NO_DATA_MS", "1000", 0);
  setenv("PELVARO_TEST_STALL_MS", "3000", 0);
  // Longer than the stall limit: a silent download is a stall, a dripping one too slow.
  setenv("PELVARO_TEST_LOW_SPEED_MS", "4000", 0);
  // The terminal front end's pauses between the steps of an entry.
  setenv("PELVARO_TEST_CRAWL_PAUSE_MS", "1", 0);
  return true;
}();

}  // namespace
}  // namespace pelvaro::e2e
