#include "web/retry_budget.h"

#include <algorithm>
#include <cstdio>

#include "platform/text.h"

namespace pelvaro {
namespace {

std::chrono::milliseconds Left(RetryBudget::Clock::time_point deadline, std::chrono::milliseconds limit) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - RetryBudget::Clock::now());
  return std::clamp(left, std::chrono::milliseconds(1), std::max(limit, std::chrono::milliseconds(1)));
}

}  // namespace

std::chrono::milliseconds RetryBudget::connectLimit(Clock::time_point deadline) const {
  return Left(deadline, limits_.connect);
}

std::chrono::milliseconds RetryBudget::noDataLimit(Clock::time_point deadline) const {
  return Left(deadline, limits_.noData);
}

std::optional<std::chrono::milliseconds> RetryBudget::next(const DownloadFailure& failure,
                                                           const ResponseHead* refusal,
                                                           std::int64_t delivered,
                                                           Clock::time_point deadline) {
  if (!Retryable(failure)) return std::nullopt;
  if (delivered >= kRenewingBytes) attempt_ = 1;
  if (attempt_ >= limits_.attempts) return std::nullopt;
  const auto pause = RetryPause(attempt_, refusal, limits_);
  if (Clock::now() + pause >= deadline) return std::nullopt;
  ++attempt_;
  return pause;
}

std::chrono::milliseconds RetryPause(int attempt, const ResponseHead* refusal, const TransferLimits& limits) {
  if (refusal != nullptr) {
    if (auto seconds = ParseHeaderNumber(refusal->Find("Retry-After").value_or(""))) {
      return std::min(std::chrono::milliseconds(std::chrono::seconds(*seconds)), limits.longestRetryAfter);
    }
  }
  return limits.firstPause * (1LL << std::clamp(attempt - 1, 0, 20));
}

std::string RetryLine(const std::string& url, const DownloadFailure& failure, int nextAttempt,
                      std::chrono::milliseconds pause) {
  const auto seconds = std::chrono::duration<double>(pause).count();
  char when[32];
  std::snprintf(when, sizeof when, "%.3g", seconds);
  return Gbk("重试：") + FailureText(failure) + Gbk("，") + when + Gbk("秒后第") +
         std::to_string(nextAttempt) + Gbk("次请求 ") + url;
}

}  // namespace pelvaro
