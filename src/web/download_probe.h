#pragma once
// The requests a download makes before its transfer: the response head of a GET whose body
// is never read, and the size probe built on it, which asks again when the network breaks.

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
  // The probe runs on the thread that starts the download; stopping that thread's job ends it.
  std::stop_token stop;
};

// Sends a GET for `url` and returns the head of the final response, closing the connection
// as soon as the body starts. Nullopt when no response head arrived (bad URL, refused
// connection, no connection within the connect limit, no byte within the no-data limit, a
// broken exchange) or the probe was stopped; `failure`, when given, then says why.
std::optional<ResponseHead> FetchResponseHead(const std::string& url, const HeadProbe& probe,
                                              DownloadFailure* failure = nullptr);

struct SizeProbeResult {
  std::optional<ProbedFile> file;
  DownloadFailure failure;  // when there is no file and the probe was not stopped
};

// The size probe of a download: a 2xx answer with a usable Content-Length, with its ETag and
// Last-Modified. A broken or silent connection, a 5xx, 408 or 429 is asked again (up to the
// limit's attempts, with growing pauses or the server's Retry-After); other statuses fail at
// once. Every pause ends early when `stop` is requested; `onRetry` hears of every retry.
SizeProbeResult ProbeFileSize(const std::string& url, std::stop_token stop, const RetryListener& onRetry);

// The pause before attempt `attempt` + 1 (attempt counts from 1): the Retry-After of `head`
// when it gives one (seconds, at most the limit), else the first pause doubled per attempt.
std::chrono::milliseconds RetryPause(int attempt, const ResponseHead* head);

// The log line of a retry (GBK).
std::string RetryLine(const std::string& url, const DownloadFailure& failure, int attempt,
                      std::chrono::milliseconds pause);

}  // namespace pelvaro
