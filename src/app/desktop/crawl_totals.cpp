#include "app/desktop/crawl_totals.h"

#include <cstdio>

namespace pelvaro {

namespace {
// The speed is the average over this long, so that one slow second does not make it jump.
constexpr auto kSpeedWindow = std::chrono::seconds(3);
}  // namespace

std::string AmountText(double bytes) {
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
  if (bytes < 1024) return std::to_string(static_cast<std::int64_t>(bytes < 0 ? 0 : bytes)) + " B";
  int unit = -1;
  do {
    bytes /= 1024;
    ++unit;
  } while (bytes >= 1024 && unit + 1 < static_cast<int>(std::size(kUnits)));
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", bytes, kUnits[unit]);
  return text;
}

std::string TotalsText(std::int64_t taken, std::int64_t failed, std::int64_t bytes, double bytesPerSecond) {
  return "已采集 " + std::to_string(taken) + " 个  失败 " + std::to_string(failed) + " 个  已下载 " +
         AmountText(static_cast<double>(bytes)) + "  速度 " + AmountText(bytesPerSecond) + "/s";
}

void CrawlTotals::onEnd(const DownloadEnd& end) {
  if (end.complete()) {
    ++taken_;
  } else if (!end.stopped) {
    ++failed_;
  }
}

std::string CrawlTotals::sample(std::int64_t bytesReceived, Clock::time_point now) {
  samples_.push_back({now, bytesReceived});
  while (samples_.size() > 2 && now - samples_[1].at >= kSpeedWindow) samples_.pop_front();
  return TotalsText(taken(), failed(), bytesReceived, speed());
}

double CrawlTotals::speed() const {
  if (samples_.size() < 2) return 0;
  const double seconds = std::chrono::duration<double>(samples_.back().at - samples_.front().at).count();
  if (seconds <= 0) return 0;
  return static_cast<double>(samples_.back().bytes - samples_.front().bytes) / seconds;
}

}  // namespace pelvaro
