#pragma once
// When a request of a download is asked again, and after how long: the one policy of the size
// probe, the block fetcher and the version check at the end. A request gets a few attempts with
// growing pauses (or the server's Retry-After); an attempt that delivered a fair share of data
// (kRenewingBytes: a server that caps each answer, not one that breaks every answer) renews them; only
// failures the network may heal are asked again; and no attempt and no pause runs past the
// deadline the caller names: the moment its download has gone without progress for the stall
// limit.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "web/download_failure.h"
#include "web/response_head.h"
#include "web/transfer_limits.h"

namespace pelvaro {

class RetryBudget {
 public:
  using Clock = std::chrono::steady_clock;

  // An attempt that brought at least this many bytes renews the attempts.
  static constexpr std::int64_t kRenewingBytes = 64 * 1024;

  explicit RetryBudget(TransferLimits limits) : limits_(limits) {}

  // The attempt under way, from 1.
  int attempt() const { return attempt_; }

  // The connect limit of the next attempt: the configured one, cut to what is left before the
  // deadline (at least a millisecond).
  std::chrono::milliseconds connectLimit(Clock::time_point deadline) const;
  // The same for the no-data limit of one attempt.
  std::chrono::milliseconds noDataLimit(Clock::time_point deadline) const;

  // After a failed attempt: the pause before the next one, or nullopt when the request gives
  // up (a failure no retry heals, the attempts used up, or a pause that would end past the
  // deadline). `refusal` is the answer of a refused attempt (for its Retry-After); `delivered`
  // is how many bytes of the file the attempt brought.
  std::optional<std::chrono::milliseconds> next(const DownloadFailure& failure, const ResponseHead* refusal,
                                                std::int64_t delivered, Clock::time_point deadline);

 private:
  const TransferLimits limits_;
  int attempt_ = 1;
};

// The pause after attempt `attempt` (from 1): the Retry-After of `refusal` when it gives one
// (seconds, at most the limit), else the first pause doubled per attempt.
std::chrono::milliseconds RetryPause(int attempt, const ResponseHead* refusal, const TransferLimits& limits);

// The log line of a retry (GBK): the reason, the pause and the number of the next attempt.
std::string RetryLine(const std::string& url, const DownloadFailure& failure, int nextAttempt,
                      std::chrono::milliseconds pause);

}  // namespace pelvaro
