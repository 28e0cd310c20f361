#include "web/block_fetcher.h"

#include <memory>
#include <string>

#include "web/curl_global.h"
#include "web/download_probe.h"
#include "web/response_head.h"

namespace pelvaro {
namespace {

// One range request: bytes [offset, offset + remaining) of the file.
struct RangeTransfer {
  DownloadTask* task = nullptr;
  std::int64_t offset = 0;
  std::int64_t remaining = 0;
  bool wholeFileAllowed = false;  // a plain 200 carries exactly these bytes
  std::uint64_t interruptions = 0;
  ResponseHead head;
  bool headChecked = false;
  bool invalid = false;  // the server's answer or the file write failed: the task fails
  std::int64_t received = 0;
};

bool AcceptableHead(const RangeTransfer& transfer) {
  const ResponseHead& head = transfer.head;
  if (auto encoding = head.Find("Content-Encoding");
      encoding && !encoding->empty() && *encoding != "identity") {
    return false;  // encoded bytes are not the file's bytes
  }
  if (head.Status() == 206) {
    auto range = head.Find("Content-Range");
    return !range || ContentRangeStart(*range) == transfer.offset;
  }
  return head.Status() == 200 && transfer.wholeFileAllowed;
}

bool Abandoned(const RangeTransfer& transfer) {
  return transfer.task->Cancelled() || transfer.task->Interruptions() != transfer.interruptions;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  static_cast<RangeTransfer*>(user)->head.Feed(std::string_view(data, size * count));
  return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<RangeTransfer*>(user);
  const std::size_t bytes = size * count;
  if (!transfer.headChecked) {
    if (!AcceptableHead(transfer)) {
      transfer.invalid = true;
      return 0;
    }
    transfer.headChecked = true;
  }
  if (Abandoned(transfer)) return 0;
  if (static_cast<std::int64_t>(bytes) > transfer.remaining - transfer.received ||
      !transfer.task->File().WriteAt(transfer.offset + transfer.received, data, bytes)) {
    transfer.invalid = true;
    return 0;
  }
  transfer.received += static_cast<std::int64_t>(bytes);
  transfer.task->AddProgress(static_cast<std::int64_t>(bytes));
  return transfer.task->WaitWhilePaused() ? bytes : 0;
}

// Ends a transfer that waits for data once the task was stopped, failed or interrupted.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return Abandoned(*static_cast<RangeTransfer*>(user)) ? 1 : 0;
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
    task_.Fail();
    return;
  }
  while (auto block = task_.TakeBlock()) {
    if (!FetchBlock(*block)) return;
  }
}

bool BlockFetcher::FetchBlock(const BlockSpan& block) {
  std::int64_t fetched = 0;
  while (fetched < block.length) {
    RangeTransfer transfer;
    transfer.task = &task_;
    transfer.offset = block.start + fetched;
    transfer.remaining = block.length - fetched;
    transfer.wholeFileAllowed = transfer.offset == 0 && transfer.remaining == task_.TotalSize();
    transfer.interruptions = task_.Interruptions();

    curl_slist* list = nullptr;
    for (const auto& line : DownloadHeaderLines()) list = curl_slist_append(list, line.c_str());
    std::string range =
        "Range:bytes=" + std::to_string(transfer.offset) + "-" + std::to_string(block.rangeEnd);
    list = curl_slist_append(list, range.c_str());
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(list, &curl_slist_free_all);

    curl_easy_setopt(easy_, CURLOPT_URL, task_.Url().c_str());
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    TrustConfiguredCertificates(easy_);
    curl_easy_setopt(easy_, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, 20L);
    curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, 256L * 1024L);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy_, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(easy_, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_perform(easy_);
    fetched += transfer.received;

    if (transfer.invalid) {
      task_.Fail();
      return false;
    }
    if (fetched == block.length) return true;  // a late error after the last byte loses nothing
    if (task_.Cancelled()) return false;
    if (task_.Interruptions() == transfer.interruptions) {
      // A short body, a broken connection, a refused request: no block is retried.
      task_.Fail();
      return false;
    }
    // Interrupted by StopThenResume: ask again for the rest of the block.
  }
  return true;
}

}  // namespace pelvaro
