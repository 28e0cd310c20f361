#pragma once
// How long a download waits for the network before it gives up, and how often it asks again;
// how large and how long an answer held in memory (an API answer, a page) may be. The
// defaults are the program's. Tests shorten them, in-process through SetTransferLimits and
// for a whole program through environment variables in milliseconds:
// PELVARO_TEST_CONNECT_MS, PELVARO_TEST_NO_DATA_MS, PELVARO_TEST_STALL_MS,
// PELVARO_TEST_LOW_SPEED_MS, PELVARO_TEST_RETRY_PAUSE_MS (the first pause; each further one
// doubles) and PELVARO_TEST_ANSWER_DEADLINE_MS.

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace pelvaro {

struct TransferLimits {
  std::chrono::milliseconds connect{15000};     // to open a connection
  std::chrono::milliseconds noData{20000};      // one attempt without a byte
  std::chrono::milliseconds stall{60000};       // one download without a new byte, all attempts
  // A download that stays under lowSpeedBytesPerSecond for this long, all attempts and pauses
  // together, fails and is not asked again.
  std::chrono::milliseconds lowSpeedTime{60000};
  std::int64_t lowSpeedBytesPerSecond = 1024;
  std::chrono::milliseconds firstPause{1000};   // before the second attempt; doubles each time
  std::chrono::milliseconds longestRetryAfter{30000};  // a server's Retry-After beyond this is cut
  int attempts = 5;                             // per request
  // An answer read into memory: its header blocks and body together, and the whole exchange.
  std::size_t answerBytes = 8 * 1024 * 1024;
  std::chrono::milliseconds answerDeadline{60000};
};

// The limits in force: the override when one is set, else the defaults with the environment's
// test values applied.
TransferLimits CurrentTransferLimits();
// Replaces the limits for the rest of the process (tests only).
void SetTransferLimits(const TransferLimits& limits);

}  // namespace pelvaro
