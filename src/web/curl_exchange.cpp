#include "web/curl_exchange.h"

#include <algorithm>
#include <stop_token>
#include <string_view>

#include "platform/worker.h"

namespace pelvaro {
namespace {

constexpr std::chrono::milliseconds kLongestPoll{1000};

int ParseStatusCode(std::string_view statusLine) {
  std::size_t space = statusLine.find(' ');
  if (space == std::string_view::npos || statusLine.size() < space + 4) return 0;
  int code = 0;
  for (char c : statusLine.substr(space + 1, 3)) {
    if (c < '0' || c > '9') return 0;
    code = code * 10 + (c - '0');
  }
  return code;
}

}  // namespace

CurlExchange::CurlExchange(CURL* easy) : easy_(easy) {
  curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlExchange::OnHeader);
  curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlExchange::OnBody);
  curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy_, CURLOPT_PREREQFUNCTION, &CurlExchange::OnPrereq);
  curl_easy_setopt(easy_, CURLOPT_PREREQDATA, this);
  curl_easy_setopt(easy_, CURLOPT_XFERINFOFUNCTION, &CurlExchange::OnProgress);
  curl_easy_setopt(easy_, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(easy_, CURLOPT_NOPROGRESS, 0L);
}

void CurlExchange::SetAnswerLimits(const TransferLimits& limits) {
  answerBytes_ = limits.answerBytes;
  deadline_ = limits.answerDeadline;
}

bool CurlExchange::Admit(std::size_t bytes) {
  received_ += bytes;
  if (answerBytes_ == 0 || received_ <= answerBytes_) return true;
  aborted_ = Abort::kTooLarge;
  return false;
}

CURLcode CurlExchange::Perform() {
  CURLM* multi = curl_multi_init();
  if (multi == nullptr) return CURLE_OUT_OF_MEMORY;
  if (curl_multi_add_handle(multi, easy_) != CURLM_OK) {
    curl_multi_cleanup(multi);
    return CURLE_OUT_OF_MEMORY;
  }
  MarkActivity();
  started_ = lastActivity_;
  CURLcode result = CURLE_OK;
  bool finished = false;
  {
    // Stopping comes from another thread; the wake-up lets the progress callback see it now
    // rather than at libcurl's next idle tick.
    std::stop_callback wake(CurrentStopToken(), [multi] { curl_multi_wakeup(multi); });
    for (;;) {
      int running = 0;
      if (curl_multi_perform(multi, &running) != CURLM_OK) {
        result = CURLE_OUT_OF_MEMORY;
        break;
      }
      if (running == 0) {
        finished = true;
        break;
      }
      // The progress callback normally aborts; this covers phases in which libcurl does not
      // call it.
      if (ShouldAbort()) {
        result = aborted_ == Abort::kStopped ? CURLE_ABORTED_BY_CALLBACK : CURLE_OPERATION_TIMEDOUT;
        break;
      }
      auto wait = kLongestPoll;
      if (deadline_.count() > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(started_ + deadline_ -
                                                                          std::chrono::steady_clock::now());
        wait = std::clamp(left + std::chrono::milliseconds(1), std::chrono::milliseconds(1), wait);
      }
      if (connected_ && idleLimit_.count() > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(lastActivity_ + idleLimit_ -
                                                                          std::chrono::steady_clock::now());
        wait = std::clamp(left + std::chrono::milliseconds(1), std::chrono::milliseconds(1), wait);
      }
      curl_multi_poll(multi, nullptr, 0, static_cast<int>(wait.count()), nullptr);
    }
  }
  if (finished) {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy_) result = message->data.result;
    }
  }
  curl_multi_remove_handle(multi, easy_);
  curl_multi_cleanup(multi);
  return result;
}

bool CurlExchange::IdleExpired() const {
  return connected_ && idleLimit_.count() > 0 &&
         std::chrono::steady_clock::now() - lastActivity_ > idleLimit_;
}

bool CurlExchange::ShouldAbort() {
  if (aborted_ != Abort::kNone) return true;
  if (StopRequested()) {
    aborted_ = Abort::kStopped;
  } else if (deadline_.count() > 0 && std::chrono::steady_clock::now() - started_ > deadline_) {
    aborted_ = Abort::kDeadline;
  } else if (IdleExpired()) {
    aborted_ = Abort::kIdle;
  }
  return aborted_ != Abort::kNone;
}

std::size_t CurlExchange::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
  auto* exchange = static_cast<CurlExchange*>(self);
  std::size_t length = size * count;
  std::string_view line(data, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  exchange->MarkActivity();
  if (!exchange->Admit(length)) return 0;
  if (line.starts_with("HTTP/")) {
    // A new response (after a followed redirect or an interim 1xx) replaces the previous one.
    exchange->headers_.clear();
    exchange->body_.clear();
    exchange->inHeaderBlock_ = true;
    exchange->headersComplete_ = false;
    exchange->statusCode_ = ParseStatusCode(line);
  }
  if (!exchange->inHeaderBlock_) return length;  // trailers after the body
  exchange->headers_.append(line);
  exchange->headers_.append("\r\n");
  if (line.empty()) {
    exchange->inHeaderBlock_ = false;
    exchange->headersComplete_ = true;
    if (exchange->statusCode_ / 100 != 1) ++exchange->responsesCompleted_;
  }
  return length;
}

std::size_t CurlExchange::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
  auto* exchange = static_cast<CurlExchange*>(self);
  exchange->MarkActivity();
  if (!exchange->Admit(size * count)) return 0;
  exchange->body_.append(data, size * count);
  return size * count;
}

int CurlExchange::OnPrereq(void* self, char*, char*, int, int) {
  auto* exchange = static_cast<CurlExchange*>(self);
  ++exchange->requestsStarted_;
  exchange->connected_ = true;
  exchange->MarkActivity();
  return CURL_PREREQFUNC_OK;
}

int CurlExchange::OnProgress(void* self, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
  auto* exchange = static_cast<CurlExchange*>(self);
  if (downloaded != exchange->lastDownloaded_ || uploaded != exchange->lastUploaded_) {
    exchange->lastDownloaded_ = downloaded;
    exchange->lastUploaded_ = uploaded;
    exchange->MarkActivity();
  }
  return exchange->ShouldAbort() ? 1 : 0;
}

}  // namespace pelvaro
