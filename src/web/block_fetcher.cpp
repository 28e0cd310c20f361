#include "web/block_fetcher.h"

#include <cerrno>
#include <memory>
#include <string>

#include "web/curl_global.h"
#include "web/curl_options.h"
#include "web/download_probe.h"
#include "web/response_head.h"
#include "web/retry_budget.h"
#include "web/transfer_limits.h"

namespace pelvaro {
namespace {

using Clock = std::chrono::steady_clock;

// One range request: bytes [offset, offset + remaining) of the file.
struct RangeTransfer {
  DownloadTask* task = nullptr;
  std::int64_t offset = 0;
  std::int64_t remaining = 0;
  bool wholeFileAllowed = false;  // a plain 200 carries exactly these bytes
  std::uint64_t interruptions = 0;
  ResponseHead head;
  bool headChecked = false;
  DownloadFailure invalid;  // set when the answer or the write fails the task at once
  DownloadFailure refused;  // set when the answer's status says no (maybe for now)
  std::int64_t received = 0;
  std::chrono::milliseconds noData{0};
  std::chrono::milliseconds stall{0};
  std::int64_t lowSpeed = 0;  // bytes per second
  std::chrono::milliseconds lowSpeedTime{0};
  Clock::time_point lastByte = Clock::now();
  Clock::duration silentBefore{0};  // the silence of the block's earlier attempts
  bool silent = false;              // this attempt went without a byte for too long
  bool stalled = false;             // the whole download did
  bool tooSlow = false;             // the whole download stayed under the lowest speed
};

bool SameValidator(const std::optional<std::string>& answered, const std::string& probed) {
  return probed.empty() || !answered || *answered == probed;
}

// Judges the head of an answer once, before its first body byte or after an empty body.
// False when the body must not be written.
bool JudgeHead(RangeTransfer& transfer) {
  if (transfer.headChecked) return true;
  transfer.headChecked = true;
  const ResponseHead& head = transfer.head;
  const ProbedFile& probed = transfer.task->Probed();
  const long status = head.Status();
  if (status >= 300 || status < 200) {
    transfer.refused = {FailureKind::HttpStatus, status};
    return false;
  }
  if (!SameValidator(head.Find("ETag"), probed.etag) ||
      !SameValidator(head.Find("Last-Modified"), probed.lastModified)) {
    transfer.invalid = {FailureKind::FileChanged, 0};
    return false;
  }
  if (auto encoding = head.Find("Content-Encoding");
      encoding && !encoding->empty() && *encoding != "identity") {
    transfer.invalid = {FailureKind::Compressed, 0};  // encoded bytes are not the file's bytes
    return false;
  }
  // From here on the answer claims the probed version (or names none): a length or range that
  // does not fit is the server's inconsistency, not a new version.
  if (status == 206) {
    auto range = head.Find("Content-Range");
    if (!range) return true;
    if (ContentRangeStart(*range) != transfer.offset) {
      transfer.invalid = {FailureKind::LengthMismatch, 0};
      return false;
    }
    auto slash = range->rfind('/');
    if (slash != std::string::npos && range->substr(slash + 1) != "*" &&
        ParseHeaderNumber(range->substr(slash + 1)) != transfer.task->TotalSize()) {
      transfer.invalid = {FailureKind::LengthMismatch, 0};
      return false;
    }
    return true;
  }
  if (transfer.wholeFileAllowed) {
    auto length = ParseHeaderNumber(head.Find("Content-Length").value_or(""));
    if (length && *length != transfer.task->TotalSize()) {
      transfer.invalid = {FailureKind::LengthMismatch, 0};
      return false;
    }
    return true;
  }
  // A whole file of the same version for one block of it: the server ignores ranges.
  transfer.invalid = {FailureKind::RangeIgnored, 0};
  return false;
}

bool Abandoned(const RangeTransfer& transfer) {
  return transfer.task->Cancelled() || transfer.task->Interruptions() != transfer.interruptions;
}

void NoteByte(RangeTransfer& transfer) { transfer.lastByte = Clock::now(); }

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<RangeTransfer*>(user);
  NoteByte(transfer);
  transfer.head.Feed(std::string_view(data, size * count));
  return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<RangeTransfer*>(user);
  const std::size_t bytes = size * count;
  NoteByte(transfer);
  if (!JudgeHead(transfer)) return 0;  // the body of a refusal is not the file's
  if (Abandoned(transfer)) return 0;
  if (static_cast<std::int64_t>(bytes) > transfer.remaining - transfer.received) {
    transfer.invalid = {FailureKind::LengthMismatch, 0};
    return 0;
  }
  if (!transfer.task->File().WriteAt(transfer.offset + transfer.received, data, bytes)) {
    transfer.invalid = FileFailure(errno, transfer.remaining - transfer.received);
    return 0;
  }
  transfer.received += static_cast<std::int64_t>(bytes);
  transfer.task->NoteData();
  transfer.task->AddProgress(static_cast<std::int64_t>(bytes));
  return transfer.task->WaitWhilePaused() ? bytes : 0;
}

// Ends a transfer that waits for data once the task was stopped, failed or interrupted, or
// once it or the whole download has been silent or slow for too long. libcurl calls this at
// least once a second on a silent connection.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto& transfer = *static_cast<RangeTransfer*>(user);
  if (Abandoned(transfer)) return 1;
  const auto gap = Clock::now() - transfer.lastByte;
  if (transfer.task->Silence() > transfer.stall || transfer.silentBefore + gap > transfer.stall) {
    transfer.stalled = true;
    return 1;
  }
  if (transfer.task->TooSlow(transfer.lowSpeed, transfer.lowSpeedTime)) {
    transfer.tooSlow = true;
    return 1;
  }
  if (gap > transfer.noData) {
    transfer.silent = true;
    return 1;
  }
  return 0;
}

long Seconds(std::chrono::milliseconds duration) {
  return static_cast<long>(std::chrono::ceil<std::chrono::seconds>(duration).count());
}

}  // namespace

BlockFetcher::BlockFetcher(DownloadTask& task) : task_(task) {
  EnsureCurlInitialised();
  easy_ = curl_easy_init();
}

BlockFetcher::~BlockFetcher() {
  if (easy_ != nullptr) curl_easy_cleanup(easy_);
}

void BlockFetcher::Run() {
  if (easy_ == nullptr) {
    task_.Fail({FailureKind::Network, CURLE_FAILED_INIT});
    return;
  }
  while (auto block = task_.TakeBlock()) {
    if (!FetchBlock(*block)) return;
  }
}

bool BlockFetcher::FetchBlock(const BlockSpan& block) {
  const TransferLimits limits = CurrentTransferLimits();
  const std::string validator = task_.Probed().Validator();
  const DownloadFailure stallFailure{FailureKind::NoData, Seconds(limits.stall)};
  const DownloadFailure slowFailure{FailureKind::TooSlow, Seconds(limits.lowSpeedTime)};
  std::int64_t fetched = 0;
  RetryBudget budget(limits);
  // Silence adds up over the attempts: a server that sends a little and then nothing, again
  // and again, fails the block once its silences make the stall limit.
  Clock::duration silentSoFar{0};
  while (fetched < block.length) {
    RangeTransfer transfer;
    transfer.task = &task_;
    transfer.offset = block.start + fetched;
    transfer.remaining = block.length - fetched;
    transfer.wholeFileAllowed = transfer.offset == 0 && transfer.remaining == task_.TotalSize();
    transfer.interruptions = task_.Interruptions();
    transfer.noData = limits.noData;
    transfer.stall = limits.stall;
    transfer.lowSpeed = limits.lowSpeedBytesPerSecond;
    transfer.lowSpeedTime = limits.lowSpeedTime;
    transfer.silentBefore = silentSoFar;
    // No attempt and no pause outlasts the download's budget: the stall limit from its last byte.
    const auto deadline = task_.LastData() + limits.stall;

    curl_slist* list = nullptr;
    for (const auto& line : DownloadHeaderLines()) list = curl_slist_append(list, line.c_str());
    std::string range =
        "Range:bytes=" + std::to_string(transfer.offset) + "-" + std::to_string(block.rangeEnd);
    list = curl_slist_append(list, range.c_str());
    // Without a validator the answer's size and the probe's are all that tie it to one version.
    std::string ifRange = "If-Range: " + validator;
    if (!validator.empty()) list = curl_slist_append(list, ifRange.c_str());
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(list, &curl_slist_free_all);

    if (!SetDownloadOptions(easy_, task_.Url(), headers.get(), true, budget.connectLimit(deadline))) {
      task_.Fail({FailureKind::Network, CURLE_FAILED_INIT});
      return false;
    }
    curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, 256L * 1024L);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy_, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(easy_, CURLOPT_XFERINFODATA, &transfer);
    const CURLcode code = curl_easy_perform(easy_);
    fetched += transfer.received;
    silentSoFar += Clock::now() - transfer.lastByte;
    if (code == CURLE_OK) JudgeHead(transfer);

    if (transfer.invalid) {
      task_.Fail(transfer.invalid);
      return false;
    }
    if (fetched == block.length) return true;  // a late error after the last byte loses nothing
    if (task_.Cancelled()) return false;
    if (task_.Interruptions() != transfer.interruptions) continue;  // StopThenResume: ask again
    if (transfer.stalled || transfer.tooSlow) {
      task_.Fail(transfer.stalled ? stallFailure : slowFailure);
      return false;
    }
    DownloadFailure failure = transfer.refused;
    if (!failure) {
      failure = NameFailedHost(TransferFailure(code, transfer.head.Status(), transfer.silent, limits.noData),
                               EffectiveHost(easy_));
    }
    if (!failure) failure = {FailureKind::Reset, 0};  // a complete answer that was short
    const auto pause = budget.next(failure, transfer.refused ? &transfer.head : nullptr, transfer.received,
                                   task_.LastData() + limits.stall);
    if (!pause) {
      task_.Fail(failure);
      return false;
    }
    task_.ReportRetry(RetryLine(task_.Url(), failure, budget.attempt(), *pause));
    if (!task_.PauseBeforeRetry(*pause)) return false;
    if (silentSoFar > limits.stall) {
      task_.Fail(stallFailure);
      return false;
    }
  }
  return true;
}

}  // namespace pelvaro
