#include "web/download_probe.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "platform/text.h"
#include "platform/worker.h"
#include "web/curl_global.h"
#include "web/curl_options.h"
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
  state.noData = limits.noData;
  CURL* handle = easy.get();
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  if (!ApplyTransportPolicy(handle, url)) return fail({FailureKind::Network, CURLE_FAILED_INIT});
  curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
  if (!probe.userAgent.empty()) curl_easy_setopt(handle, CURLOPT_USERAGENT, probe.userAgent.c_str());
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, probe.followRedirects ? 1L : 0L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 20L);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &state);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &state);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect.count()));
  CURLcode result = curl_easy_perform(handle);
  if (result != CURLE_OK && !(result == CURLE_WRITE_ERROR && state.headComplete)) {
    return fail(NameFailedHost(TransferFailure(result, state.head.Status(), state.silent, limits.noData),
                               EffectiveHost(handle)));
  }
  if (state.head.Status() == 0) return fail({FailureKind::Reset, 0});
  return state.head;
}

std::chrono::milliseconds RetryPause(int attempt, const ResponseHead* head) {
  const TransferLimits limits = CurrentTransferLimits();
  if (head != nullptr) {
    if (auto seconds = ParseHeaderNumber(head->Find("Retry-After").value_or(""))) {
      return std::min(std::chrono::milliseconds(std::chrono::seconds(*seconds)), limits.longestRetryAfter);
    }
  }
  return limits.firstPause * (1LL << std::min(attempt - 1, 20));
}

std::string RetryLine(const std::string& url, const DownloadFailure& failure, int attempt,
                      std::chrono::milliseconds pause) {
  const auto seconds = std::chrono::duration<double>(pause).count();
  char when[32];
  std::snprintf(when, sizeof when, "%.3g", seconds);
  return Gbk("重试：") + FailureText(failure) + Gbk("，") + when + Gbk("秒后第") + std::to_string(attempt + 1) +
         Gbk("次请求 ") + url;
}

SizeProbeResult ProbeFileSize(const std::string& url, std::stop_token stop, const RetryListener& onRetry) {
  const TransferLimits limits = CurrentTransferLimits();
  HeadProbe probe;
  probe.headerLines = DownloadHeaderLines();
  probe.stop = stop;
  const auto started = Clock::now();
  SizeProbeResult result;
  for (int attempt = 1;; ++attempt) {
    DownloadFailure failure;
    std::optional<ResponseHead> head = FetchResponseHead(url, probe, &failure);
    if (stop.stop_requested()) return {};
    if (head) {
      const long status = head->Status();
      if (status >= 200 && status < 300) {
        std::optional<long long> size = ParseHeaderNumber(head->Find("Content-Length").value_or(""));
        if (!size || *size <= 0) return {std::nullopt, {FailureKind::LengthMismatch, 0}};
        ProbedFile file;
        file.size = *size;
        file.etag = head->Find("ETag").value_or("");
        file.lastModified = head->Find("Last-Modified").value_or("");
        return {file, {}};
      }
      failure = {FailureKind::HttpStatus, status};
    }
    // Nothing but a failure the network may heal, and only while it has not been silent too long.
    if (!Retryable(failure) || attempt >= limits.attempts) return {std::nullopt, failure};
    const auto pause = RetryPause(attempt, head ? &*head : nullptr);
    if (Clock::now() + pause - started > limits.stall) return {std::nullopt, failure};
    if (onRetry) onRetry(RetryLine(url, failure, attempt, pause));
    // The probe runs on the starting thread, whose own stop token ends the pause.
    if (!WaitFor(pause) || stop.stop_requested()) return {};
  }
}

}  // namespace pelvaro
