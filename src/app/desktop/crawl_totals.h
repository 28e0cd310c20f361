#pragma once
// The totals the main window's status bar shows while the program runs: videos taken and
// failed (from the downloads' ends), the bytes received, and the current download speed over
// the last few seconds. Ends are counted on any thread; samples are taken on the GUI thread.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include "collector/download_end.h"

namespace pelvaro {

// "已采集 3 个  失败 1 个  已下载 12.5 MB  速度 1.2 MB/s" (UTF-8).
std::string TotalsText(std::int64_t taken, std::int64_t failed, std::int64_t bytes, double bytesPerSecond);

// Bytes as the program shows amounts: B, KB, MB or GB of 1024, one decimal above bytes.
std::string AmountText(double bytes);

class CrawlTotals : public DownloadSubscriber {
 public:
  using Clock = std::chrono::steady_clock;

  // A download ended (any thread); one the program stopped is no failure.
  void onEnd(const DownloadEnd& end) override;

  // Takes a sample of the bytes received so far and returns the status text.
  std::string sample(std::int64_t bytesReceived, Clock::time_point now);
  // The speed over the samples kept, in bytes per second.
  double speed() const;

  std::int64_t taken() const { return taken_.load(); }
  std::int64_t failed() const { return failed_.load(); }

 private:
  struct Sample {
    Clock::time_point at;
    std::int64_t bytes;
  };
  std::atomic<std::int64_t> taken_{0};
  std::atomic<std::int64_t> failed_{0};
  std::deque<Sample> samples_;  // GUI thread only
};

}  // namespace pelvaro
