#include "web/transfer_limits.h"

#include <cstdlib>
#include <mutex>
#include <optional>

namespace pelvaro {
namespace {

std::mutex& OverrideMutex() {
  static std::mutex mutex;
  return mutex;
}
std::optional<TransferLimits>& Override() {
  static std::optional<TransferLimits> limits;
  return limits;
}

void ApplyVariable(const char* name, std::chrono::milliseconds& value) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return;
  char* end = nullptr;
  long long ms = std::strtoll(text, &end, 10);
  if (end != nullptr && *end == '\0' && ms > 0) value = std::chrono::milliseconds(ms);
}

TransferLimits FromEnvironment() {
  TransferLimits limits;
  ApplyVariable("PELVARO_TEST_CONNECT_MS", limits.connect);
  ApplyVariable("PELVARO_TEST_NO_DATA_MS", limits.noData);
  ApplyVariable("PELVARO_TEST_STALL_MS", limits.stall);
  ApplyVariable("PELVARO_TEST_LOW_SPEED_MS", limits.lowSpeedTime);
  ApplyVariable("PELVARO_TEST_RETRY_PAUSE_MS", limits.firstPause);
  ApplyVariable("PELVARO_TEST_ANSWER_DEADLINE_MS", limits.answerDeadline);
  return limits;
}

}  // namespace

TransferLimits CurrentTransferLimits() {
  {
    std::lock_guard lock(OverrideMutex());
    if (Override()) return *Override();
  }
  static const TransferLimits fromEnvironment = FromEnvironment();
  return fromEnvironment;
}

void SetTransferLimits(const TransferLimits& limits) {
  std::lock_guard lock(OverrideMutex());
  Override() = limits;
}

}  // namespace pelvaro
