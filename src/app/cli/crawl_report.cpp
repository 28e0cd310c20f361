#include "app/cli/crawl_report.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "app/cli/terminal_text.h"
#include "collector/log_texts.h"
#include "platform/files.h"

namespace pelvaro::cli {

namespace ct = collector_text;

namespace {

// The outcome of a video taken, as the log says it (without "，开始下一个。").
constexpr std::string_view kTaken = "任务完成";
// The reason of a download stopped because the run ended.
constexpr std::string_view kStoppedAtEnd = "已停止";
// A title is cut before the rest of a video's line, but not to less than this.
constexpr std::size_t kShortestTitle = 4;

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

// "1小时2分3秒", "2分3秒" or "3.2秒".
std::string Duration(double seconds) {
  char text[64];
  const auto whole = static_cast<long long>(seconds);
  if (whole < 60) {
    std::snprintf(text, sizeof text, "%.1f秒", seconds);
  } else if (whole < 3600) {
    std::snprintf(text, sizeof text, "%lld分%lld秒", whole / 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld小时%lld分%lld秒", whole / 3600, whole / 60 % 60, whole % 60);
  }
  return text;
}

// Three decimals are plenty for a duration, and keep the lines short.
double Rounded(double seconds) {
  return static_cast<double>(static_cast<long long>(seconds * 1000 + 0.5)) / 1000;
}

}  // namespace

std::string CrawlReport::VideoLine(const Ended& video, std::size_t columns) {
  // What gives way when the terminal is narrow, in this order: the timing, the title (kept
  // while a few columns of it fit), the size; the entry, docid and outcome stay.
  char number[16];
  std::snprintf(number, sizeof number, "%2d", video.entry);
  const std::string head =
      std::string(number) + "  " + StripControls(GbkToUtf8(video.docid)) + "  " + video.shown;
  const std::string title = StripControls(video.title);
  const std::string size = video.size.empty() ? "" : "  " + video.size;
  const std::string extra = video.extra.empty() ? "" : "  " + video.extra;
  for (const std::string& tail : {size + extra, size}) {
    const std::size_t fixed = DisplayWidth(head) + DisplayWidth(tail);
    if (title.empty() && fixed <= columns) return head + tail;
    if (!title.empty() && fixed + 2 + kShortestTitle <= columns) {
      return head + "  " + Ellipsize(title, columns - fixed - 2) + tail;
    }
  }
  return FitWidth(DisplayWidth(head + size) <= columns ? head + size : head, columns);
}

void CrawlReport::ended(const Ended& video) {
  if (output_.screen()) output_.line(VideoLine(video, output_.columns()));
  if (json_ == nullptr) return;
  nlohmann::ordered_json object;
  object["docid"] = GbkToUtf8(video.docid);
  object["outcome"] = video.outcome;
  object["title"] = video.title;
  if (video.path) {
    object["path"] = video.path->bytes();
    object["bytes"] = video.bytes;
  }
  object["seconds"] = Rounded(video.seconds);
  if (!video.reason.empty()) object["reason"] = video.reason;
  const std::string line = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  std::lock_guard lock(jsonMutex_);
  std::fputs(line.c_str(), json_);
  std::fflush(json_);
}

void CrawlReport::refreshStatus() {
  if (!output_.screen()) return;
  CrawlStatus status;
  {
    std::lock_guard lock(mutex_);
    status = status_;
  }
  status.taken = taken;
  status.present = present;
  status.rejected = rejected;
  status.failed = failed;
  output_.status(StatusLine(status, output_.columns()));
}

void CrawlReport::onUnanswered(const Text& host, const Text& reason) {
  const std::string hostText = StripControls(GbkToUtf8(host)), reasonText = StripControls(GbkToUtf8(reason));
  const std::string said = hostText + "：" + reasonText;
  bool changed = false;
  {
    std::lock_guard lock(mutex_);
    passUnanswered_ = true;
    status_.unansweredHost = hostText;
    status_.unansweredReason = reasonText;
    changed = said != lastUnanswered_;
    lastUnanswered_ = said;
  }
  // The log already says it at every pass; a screen or a quiet run hears it once per reason.
  if (changed && !(output_.logs()))
    output_.error("pelvaro-cli: " + std::string(ct::kPlatformUnreachable) + said);
  refreshStatus();
}

void CrawlReport::onPass(int entries) {
  {
    std::lock_guard lock(mutex_);
    ++status_.pass;
    status_.entries = entries;
    status_.entry = 0;
    if (!passUnanswered_) {
      answered_ = true;
      status_.unansweredHost.clear();
      status_.unansweredReason.clear();
      lastUnanswered_.clear();
    }
    passUnanswered_ = false;
  }
  refreshStatus();
}

std::string CrawlReport::lastUnanswered() const {
  std::lock_guard lock(mutex_);
  return lastUnanswered_;
}

void CrawlReport::onEntry(int number) {
  {
    std::lock_guard lock(mutex_);
    status_.entry = number;
  }
  refreshStatus();
}

void CrawlReport::onPresent(const Text& docid) { passedOver(docid, "present", ct::kInHistoryCell); }

// Another collector's claim counts as present, so the summary line reads as before.
void CrawlReport::onClaimedElsewhere(const Text& docid) {
  passedOver(docid, "claimed", ct::kClaimedElsewhereCell);
}

void CrawlReport::passedOver(const Text& docid, std::string_view outcome, std::string_view shown) {
  ++present;
  Ended e;
  {
    std::lock_guard lock(mutex_);
    e.entry = status_.entry;
  }
  e.docid = docid;
  e.outcome = outcome;
  e.shown = std::string(shown);
  ended(e);
  refreshStatus();
}

void CrawlReport::onRejected(const VideoRecord& record, RejectReason reason) {
  ++rejected;
  ++byReason_[static_cast<int>(reason)];
  const std::string message(RejectMessage(reason));
  Ended e;
  e.entry = status_.entry;
  e.docid = record.docid;
  e.outcome = "rejected";
  e.shown = message;
  e.title = TitleUtf8(record);
  e.size = SizeText(record.sizeMb);
  e.reason = message;
  ended(e);
  refreshStatus();
}

void CrawlReport::onExists(const VideoRecord& record) {
  ++present;
  std::string_view shown = ct::kFileExists;
  if (shown.ends_with("，")) shown.remove_suffix(std::string_view("，").size());
  Ended e;
  e.entry = status_.entry;
  e.docid = record.docid;
  e.outcome = "present";
  e.shown = std::string(shown);
  e.title = TitleUtf8(record);
  e.size = SizeText(record.sizeMb);
  ended(e);
  refreshStatus();
}

void CrawlReport::onDownloadStarting(const VideoRecord& record) {
  std::lock_guard lock(mutex_);
  Video& video = videos_[record.docid];
  video.entry = status_.entry;
  video.title = TitleUtf8(record);
  video.sizeMb = record.sizeMb;
  status_.percent.reset();
}

void CrawlReport::onHalt(const Text& reason) {
  // The log line reaches stderr without a terminal; on one it needs a line of its own.
  if (output_.screen()) output_.line(GbkToUtf8(reason));
  if (haltListener_) haltListener_();
}

void CrawlReport::onEnd(const DownloadEnd& end) {
  const bool complete = end.complete();
  const std::string reason = end.stopped ? std::string(kStoppedAtEnd) : GbkToUtf8(FailureText(end.failure));
  if (complete) {
    bytes += end.bytes;
    ++taken;
  } else {
    ++failed;
    std::lock_guard lock(mutex_);
    ++failedBy_[end.stopped ? Gbk(kStoppedAtEnd) : FailureText(end.failure)];
  }
  Video video;
  {
    std::lock_guard lock(mutex_);
    status_.percent.reset();
    if (const auto found = videos_.find(end.docid); found != videos_.end()) {
      video = found->second;
      videos_.erase(found);
    }
  }
  if (end.stopped && !output_.screen()) {
    output_.line("pelvaro-cli: stopped the download of " + GbkToUtf8(end.docid) +
                 " and removed its partial file");
  }
  Ended e;
  e.entry = video.entry;
  e.docid = end.docid;
  e.title = video.title;
  const double seconds = end.stopped ? end.seconds : std::max(1e-3, end.seconds);
  if (complete) {
    char timing[64];
    std::snprintf(timing, sizeof timing, "%.1f s  %.2f MB/s", seconds,
                  static_cast<double>(end.bytes) / 1e6 / seconds);
    e.outcome = "taken";
    e.shown = std::string(kTaken);
    e.size = Megabytes(static_cast<double>(end.bytes));
    e.extra = timing;
    e.path = end.path;
    e.bytes = end.bytes;
    e.seconds = seconds;
  } else {
    e.outcome = "failed";
    e.shown = end.stopped ? reason : std::string(ct::kDownloadFailedBecause) + reason;
    e.size = SizeText(video.sizeMb);
    e.seconds = seconds;
    e.reason = reason;
  }
  ended(e);
  if (!end.stopped) refreshStatus();
}

void CrawlReport::onProgress(const Text& docid, double fraction) {
  (void)docid;
  if (!output_.screen()) return;
  {
    std::lock_guard lock(mutex_);
    status_.percent = fraction * 100.0;
  }
  refreshStatus();
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

std::string CrawlReport::summaryJson(double seconds) const {
  nlohmann::ordered_json counts;
  counts["taken"] = taken.load();
  counts["present"] = present.load();
  counts["rejected"] = rejected.load();
  counts["failed"] = failed.load();
  counts["bytes"] = bytes.load();
  counts["seconds"] = Rounded(seconds);
  nlohmann::ordered_json summary;
  summary["summary"] = counts;
  return summary.dump() + "\n";
}

std::string CrawlReport::readableSummary(double seconds) const {
  return "本次采集 " + std::to_string(taken) + " 个视频（" + Megabytes(static_cast<double>(bytes)) +
         "），已存在 " + std::to_string(present) + " 个，不符要求 " + std::to_string(rejected) +
         " 个，下载失败 " + std::to_string(failed) + " 个，用时 " + Duration(seconds) + "。";
}

}  // namespace pelvaro::cli
