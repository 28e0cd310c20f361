#include "web/download_probe.h"

#include <curl/curl.h>

#include <memory>

#include "platform/text.h"
#include "platform/worker.h"
#include "web/curl_global.h"
#include "web/curl_options.h"
#include "web/retry_budget.h"
#include "web/transfer_limits.h"

namespace pelvaro {
namespace {

using Clock = std::chrono::steady_clock;

struct ProbeState {
  ResponseHead head;
  bool headComplete = false;
  std::stop_token stop;
  std::chrono::milliseconds noData{0};
  Clock::time_point lastByte = Clock::now();
  bool silent = false;
};

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* state = static_cast<ProbeState*>(user);
  if (state->stop.stop_requested()) return 1;
  if (Clock::now() - state->lastByte > state->noData) {
    state->silent = true;
    return 1;
  }
  return 0;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* state = static_cast<ProbeState*>(user);
  std::string_view line(data, size * count);
  state->lastByte = Clock::now();
  state->head.Feed(line);
  // The blank line ends one head; a redirect or interim response may still follow.
  state->headComplete = (line == "\r\n" || line == "\n");
  return size * count;
}

// The body is not wanted: refusing its first bytes ends the transfer.
size_t OnBody(char*, size_t, size_t, void*) { return 0; }

}  // namespace

const std::vector<std::string>& DownloadHeaderLines() {
  static const std::vector<std::string> lines = {
      "Accept: */*",
      "Accept-Language: zh-cn",
      "Accept-Encoding: gzip, deflate",
      "User-Agent: Mozilla/4.0(compatible; MSIE 6.0; Windows NT 5.0; MyIE2; .NET CLR 1.1.4322)",
      "Pragma: no-cache",
      "Cache-Control: no-cache",
  };
  return lines;
}

std::optional<ResponseHead> FetchResponseHead(const std::string& url, const HeadProbe& probe,
                                              DownloadFailure* failure) {
  auto fail = [failure](DownloadFailure why) -> std::optional<ResponseHead> {
    if (failure != nullptr) *failure = why;
    return std::nullopt;
  };
  EnsureCurlInitialised();
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), &curl_easy_cleanup);
  if (!easy) return fail({FailureKind::Network, CURLE_FAILED_INIT});
  curl_slist* list = nullptr;
  for (const auto& line : probe.headerLines) list = curl_slist_append(list, line.c_str());
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(list, &curl_slist_free_all);

  const TransferLimits limits = CurrentTransferLimits();
  ProbeState state;
  state.stop = probe.stop;
  state.noData = probe.noDataLimit.count() > 0 ? probe.noDataLimit : limits.noData;
  const auto connect = probe.connectLimit.count() > 0 ? probe.connectLimit : limits.connect;
  CURL* handle = easy.get();
  if (!SetDownloadOptions(handle, url, headers.get(), probe.followRedirects, connect)) {
    return fail({FailureKind::Network, CURLE_FAILED_INIT});
  }
  if (!probe.userAgent.empty()) curl_easy_setopt(handle, CURLOPT_USERAGENT, probe.userAgent.c_str());
  if (probe.headMethod) curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &state);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &state);
  CURLcode result = curl_easy_perform(handle);
  if (result != CURLE_OK && !(result == CURLE_WRITE_ERROR && state.headComplete)) {
    return fail(NameFailedHost(TransferFailure(result, state.head.Status(), state.silent, state.noData),
                               EffectiveHost(handle)));
  }
  if (state.head.Status() == 0) return fail({FailureKind::Reset, 0});
  return state.head;
}

std::optional<ResponseHead> FetchResponseHeadWithRetries(const std::string& url, HeadProbe probe,
                                                         const RetryListener& onRetry,
                                                         DownloadFailure* failure) {
  const TransferLimits limits = CurrentTransferLimits();
  const auto deadline = Clock::now() + limits.stall;
  RetryBudget budget(limits);
  for (;;) {
    probe.connectLimit = budget.connectLimit(deadline);
    probe.noDataLimit = budget.noDataLimit(deadline);
    DownloadFailure why;
    std::optional<ResponseHead> head = FetchResponseHead(url, probe, &why);
    if (probe.stop.stop_requested()) {
      *failure = {};
      return std::nullopt;
    }
    if (head) {
      why = {FailureKind::HttpStatus, head->Status()};
      if (!Retryable(why)) return head;
    }
    const auto pause = budget.next(why, head ? &*head : nullptr, 0, deadline);
    if (!pause) {
      *failure = why;
      return head;
    }
    if (onRetry) onRetry(RetryLine(url, why, budget.attempt(), *pause));
    // The probe runs on a thread whose own stop token ends the pause.
    if (!WaitFor(*pause) || probe.stop.stop_requested()) {
      *failure = {};
      return std::nullopt;
    }
  }
}

SizeProbeResult ProbeFileSize(const std::string& url, std::stop_token stop, const RetryListener& onRetry) {
  HeadProbe probe;
  probe.headerLines = DownloadHeaderLines();
  probe.stop = stop;
  DownloadFailure failure;
  std::optional<ResponseHead> head = FetchResponseHeadWithRetries(url, probe, onRetry, &failure);
  if (!head) return {std::nullopt, failure};
  const long status = head->Status();
  if (status < 200 || status >= 300) return {std::nullopt, {FailureKind::HttpStatus, status}};
  if (auto encoding = head->Find("Content-Encoding");
      encoding && !encoding->empty() && *encoding != "identity") {
    return {std::nullopt, {FailureKind::Compressed, 0}};
  }
  std::optional<long long> size = ParseHeaderNumber(head->Find("Content-Length").value_or(""));
  if (!size) return {std::nullopt, {FailureKind::NoLength, 0}};
  if (*size == 0) return {std::nullopt, {FailureKind::EmptyFile, 0}};
  ProbedFile file;
  file.size = *size;
  file.etag = head->Find("ETag").value_or("");
  file.lastModified = head->Find("Last-Modified").value_or("");
  return {file, {}};
}

DownloadFailure ConfirmVersion(const std::string& url, const ProbedFile& probed, std::stop_token stop,
                               const RetryListener& onRetry) {
  if (probed.etag.empty() && probed.lastModified.empty()) return {};
  HeadProbe probe;
  probe.headerLines = DownloadHeaderLines();
  probe.headerLines.push_back(!probed.etag.empty() ? "If-None-Match: " + probed.etag
                                                   : "If-Modified-Since: " + probed.lastModified);
  probe.headMethod = true;
  probe.stop = stop;
  DownloadFailure failure;
  std::optional<ResponseHead> head = FetchResponseHeadWithRetries(url, probe, onRetry, &failure);
  if (head && (head->Status() == 405 || head->Status() == 501)) {
    probe.headMethod = false;
    head = FetchResponseHeadWithRetries(url, probe, onRetry, &failure);
  }
  if (!head) return failure;
  const long status = head->Status();
  if (status == 304) return {};
  if (status == 404 || status == 410 || status == 412) return {FailureKind::FileChanged, 0};
  if (status < 200 || status >= 300) return {FailureKind::HttpStatus, status};
  auto differs = [&head](std::string_view name, const std::string& probedValue) {
    auto value = head->Find(name);
    return !probedValue.empty() && value && *value != probedValue;
  };
  const auto length = ParseHeaderNumber(head->Find("Content-Length").value_or(""));
  if (differs("ETag", probed.etag) || differs("Last-Modified", probed.lastModified) ||
      (length && *length != probed.size)) {
    return {FailureKind::FileChanged, 0};
  }
  return {};
}

}  // namespace pelvaro
