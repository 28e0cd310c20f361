#pragma once
// The requests a download makes around its transfer: the response head of a GET (or HEAD)
// whose body is never read, the size probe built on it before the first byte, and the look at
// the file's version after the last byte. Both ask again when the network breaks.

#include <chrono>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "web/download_failure.h"
#include "web/download_task.h"
#include "web/response_head.h"

namespace pelvaro {

// The request header lines of the size probe and of every range request, in this order: the
// program's header block, then the two lines that ask caches for a fresh copy.
const std::vector<std::string>& DownloadHeaderLines();

struct HeadProbe {
  std::vector<std::string> headerLines;  // sent as given
  std::string userAgent;                 // empty: no User-Agent line of the transport's own
  bool followRedirects = true;
  bool headMethod = false;  // HEAD instead of GET
  // 0: the limits in force (TransferLimits).
  std::chrono::milliseconds connectLimit{0};
  std::chrono::milliseconds noDataLimit{0};
  // The probe runs on the thread that starts the download; stopping that thread's job ends it.
  std::stop_token stop;
};

// Sends a GET for `url` and returns the head of the final response, closing the connection
// as soon as the body starts. Nullopt when no response head arrived (bad URL, refused
// connection, no connection within the connect limit, no byte within the no-data limit, a
// broken exchange) or the probe was stopped; `failure`, when given, then says why.
std::optional<ResponseHead> FetchResponseHead(const std::string& url, const HeadProbe& probe,
                                              DownloadFailure* failure = nullptr);

// Like FetchResponseHead, asked again (within the retry budget, whose deadline is the stall
// limit from now) while the network fails or the status is 5xx, 408 or 429. Nullopt when no
// usable head came or the probe was stopped (`failure` then empty).
std::optional<ResponseHead> FetchResponseHeadWithRetries(const std::string& url, HeadProbe probe,
                                                         const RetryListener& onRetry,
                                                         DownloadFailure* failure);

struct SizeProbeResult {
  std::optional<ProbedFile> file;
  DownloadFailure failure;  // when there is no file and the probe was not stopped
};

// The size probe of a download: a 2xx answer with a usable Content-Length, with its ETag and
// Last-Modified; the file must come as it is (no Content-Encoding) and have bytes. A broken,
// refused or silent connection, a 5xx, 408 or 429 is asked again (RetryBudget); other statuses
// fail at once. Every pause ends early when `stop` is requested; `onRetry` hears of every retry.
SizeProbeResult ProbeFileSize(const std::string& url, std::stop_token stop, const RetryListener& onRetry);

// After the last byte: whether the server still has the version the probe saw. A conditional
// HEAD (If-None-Match with the ETag, else If-Modified-Since with the date; a GET where HEAD is
// not allowed) must answer 304, or 2xx with the same validators and length. Another answer
// fails with FileChanged (a 404 or 410 too: the file is gone), a network failure after its
// retries with its own reason. A file the server gave no validator for is not asked (None).
DownloadFailure ConfirmVersion(const std::string& url, const ProbedFile& probed, std::stop_token stop,
                               const RetryListener& onRetry);

}  // namespace pelvaro
