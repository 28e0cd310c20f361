#include "app/cli/crawl_report.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "collector/log_texts.h"
#include "collector/video_downloads.h"

namespace pelvaro::cli {

namespace ct = collector_text;

namespace {

constexpr int kBarWidth = 10;
// The outcome of a video taken, as the log says it (without "，开始下一个。").
constexpr std::string_view kTaken = "任务完成";
// The outcome of a download stopped because the run ended.
constexpr std::string_view kStoppedAtEnd = "已停止";

std::string Megabytes(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
  return text;
}

// The size the answer announced, in MB.
std::string SizeText(const Text& sizeMb) {
  if (sizeMb.empty()) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", std::strtod(sizeMb.c_str(), nullptr));
  return text;
}

}  // namespace

void CrawlReport::videoLine(int entry, const Text& docid, std::string_view outcome, const Text& title,
                            const std::string& size, const std::string& extra) {
  if (!output_.screen()) return;
  char number[16];
  std::snprintf(number, sizeof number, "%5d", entry);
  std::string line = std::string(number) + "  " + GbkToUtf8(docid) + "  " + std::string(outcome);
  if (!title.empty()) line += "  " + GbkToUtf8(title);
  if (!size.empty()) line += "  " + size;
  if (!extra.empty()) line += "  " + extra;
  output_.line(line);
}

void CrawlReport::refreshStatus() {
  if (!output_.screen()) return;
  std::string status;
  {
    std::lock_guard lock(mutex_);
    status = "pass " + std::to_string(passes_) + " " + std::to_string(entry_) + "/" + std::to_string(entries_);
    status += " | taken " + std::to_string(taken.load()) + " | present " + std::to_string(present.load()) +
              " | rejected " + std::to_string(rejected.load()) + " | failed " + std::to_string(failed.load());
    if (!bar_.empty()) status += " | " + bar_;
  }
  output_.status(status);
}

void CrawlReport::onPass(int entries) {
  {
    std::lock_guard lock(mutex_);
    ++passes_;
    entries_ = entries;
    entry_ = 0;
  }
  refreshStatus();
}

void CrawlReport::onEntry(int number) {
  {
    std::lock_guard lock(mutex_);
    entry_ = number;
  }
  refreshStatus();
}

void CrawlReport::onPresent(const Text& docid) {
  ++present;
  videoLine(entry_, docid, ct::kInHistoryCell, {}, {});
  refreshStatus();
}

void CrawlReport::onRejected(const VideoRecord& record, RejectReason reason) {
  ++rejected;
  ++byReason_[static_cast<int>(reason)];
  videoLine(entry_, record.docid, RejectMessage(reason), record.title, SizeText(record.sizeMb));
  refreshStatus();
}

void CrawlReport::onExists(const VideoRecord& record) {
  ++present;
  std::string_view outcome = ct::kFileExists;
  if (outcome.ends_with("，")) outcome.remove_suffix(std::string_view("，").size());
  videoLine(entry_, record.docid, outcome, record.title, SizeText(record.sizeMb));
  refreshStatus();
}

void CrawlReport::onDownloadStarting(const VideoRecord& record) {
  std::lock_guard lock(mutex_);
  Video& video = videos_[record.docid];
  video.entry = entry_;
  video.title = record.title;
  video.category = record.category;
  video.sizeMb = record.sizeMb;
  video.started = std::chrono::steady_clock::now();
  bar_.clear();
}

void CrawlReport::onReported(const VideoRecord& record) {
  std::lock_guard lock(mutex_);
  const auto found = videos_.find(record.docid);
  if (found == videos_.end()) return;
  found->second.reported = true;
  if (found->second.ended) videos_.erase(found);
}

void CrawlReport::onHalt(const Text& reason) {
  // The log line reaches stderr without a terminal; on one it needs a line of its own.
  if (output_.screen()) output_.line(GbkToUtf8(reason));
  if (haltListener_) haltListener_();
}

void CrawlReport::downloadEnded(const VideoDownload& download) {
  const bool complete = download.state() == VideoDownload::State::Complete;
  if (complete) {
    bytes += download.bytes();
    ++taken;
  } else {
    ++failed;
    std::lock_guard lock(mutex_);
    ++failedBy_[download.failureText()];
  }
  Video video;
  {
    std::lock_guard lock(mutex_);
    bar_.clear();
    const auto found = videos_.find(download.docid());
    if (found != videos_.end()) {
      video = found->second;
      found->second.ended = true;
      // A failed video is never reported; a taken one waits here for its report.
      if (found->second.reported || !complete) videos_.erase(found);
    }
  }
  if (complete) {
    const double seconds =
        std::max(1e-3, std::chrono::duration<double>(std::chrono::steady_clock::now() - video.started).count());
    char timing[64];
    std::snprintf(timing, sizeof timing, "%.1f s  %.2f MB/s", seconds,
                  static_cast<double>(download.bytes()) / 1e6 / seconds);
    videoLine(video.entry, download.docid(), kTaken, video.title,
              Megabytes(static_cast<double>(download.bytes())), timing);
  } else {
    const std::string outcome = std::string(ct::kDownloadFailed) + "：" + GbkToUtf8(download.failureText());
    videoLine(video.entry, download.docid(), outcome, video.title, SizeText(video.sizeMb));
  }
  refreshStatus();
}

void CrawlReport::downloadStopped(const Text& docid) {
  Video video;
  {
    std::lock_guard lock(mutex_);
    const auto found = videos_.find(docid);
    if (found != videos_.end()) {
      video = found->second;
      videos_.erase(found);
    }
  }
  if (output_.screen()) {
    videoLine(video.entry, docid, kStoppedAtEnd, video.title, SizeText(video.sizeMb));
  } else {
    output_.line("pelvaro-cli: stopped the download of " + GbkToUtf8(docid) + " and removed its partial file");
  }
}

void CrawlReport::progressCell(const Text& value) {
  if (!output_.screen() || value.empty() || value.back() != '%') return;
  const double percent = std::clamp(std::strtod(value.c_str(), nullptr), 0.0, 100.0);
  const int filled = static_cast<int>(percent / 100.0 * kBarWidth + 0.5);
  char bar[64];
  std::snprintf(bar, sizeof bar, "[%s%s] %5.1f%%", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                std::string(static_cast<std::size_t>(kBarWidth - filled), '.').c_str(), percent);
  {
    std::lock_guard lock(mutex_);
    bar_ = bar;
  }
  refreshStatus();
}

std::vector<std::pair<Text, Text>> CrawlReport::takeUnreported() {
  std::vector<std::pair<Text, Text>> unreported;
  std::lock_guard lock(mutex_);
  for (auto it = videos_.begin(); it != videos_.end();) {
    if (it->second.ended && !it->second.reported) {
      unreported.emplace_back(it->second.category, it->first);
      it = videos_.erase(it);
    } else {
      ++it;
    }
  }
  return unreported;
}

std::string CrawlReport::summaryLine(double seconds) const {
  char line[512];
  std::snprintf(line, sizeof line,
                "summary taken=%lld present=%lld rejected=%lld failed=%lld bytes=%lld seconds=%.3f "
                "reject_category=%lld reject_date=%lld reject_duration=%lld reject_size=%lld\n",
                static_cast<long long>(taken), static_cast<long long>(present),
                static_cast<long long>(rejected), static_cast<long long>(failed),
                static_cast<long long>(bytes), seconds,
                static_cast<long long>(byReason_[static_cast<int>(RejectReason::Category)]),
                static_cast<long long>(byReason_[static_cast<int>(RejectReason::Date)]),
                static_cast<long long>(byReason_[static_cast<int>(RejectReason::Duration)]),
                static_cast<long long>(byReason_[static_cast<int>(RejectReason::Size)]));
  return line;
}

std::string CrawlReport::failureReasonsLine() const {
  std::lock_guard lock(mutex_);
  std::string reasons;
  for (const auto& [reason, count] : failedBy_) {
    reasons += (reasons.empty() ? "" : "; ") + GbkToUtf8(reason) + "=" + std::to_string(count);
  }
  return reasons.empty() ? std::string() : "failed_by_reason " + reasons + "\n";
}

}  // namespace pelvaro::cli
