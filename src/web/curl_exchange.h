#pragma once
// Drives one libcurl easy handle through one exchange on the calling thread and keeps what the
// exchange produced: the header block of the latest response (CR LF line ends, as the final
// response would show it after redirects and interim 1xx answers) and its body. A stop of the
// calling worker wakes the exchange at once and aborts it through the progress callback. An
// answer is kept in memory whole, so it may be bounded in size and in time (SetAnswerLimits).

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <string>

#include "web/transfer_limits.h"

namespace pelvaro {

class CurlExchange {
 public:
  enum class Abort { kNone, kStopped, kIdle, kTooLarge, kDeadline };

  // Installs the exchange's callbacks on easy; easy must outlive the exchange.
  explicit CurlExchange(CURL* easy);
  CurlExchange(const CurlExchange&) = delete;
  CurlExchange& operator=(const CurlExchange&) = delete;

  // Once connected, at most this long without a byte moving in either direction (0: no limit;
  // connecting is bounded by the easy handle's own connect time-out).
  void SetIdleLimit(std::chrono::milliseconds limit) { idleLimit_ = limit; }

  // At most limits.answerBytes of header blocks and body together, over every response of the
  // exchange, and at most limits.answerDeadline from the start to the end (0: no limit).
  void SetAnswerLimits(const TransferLimits& limits);

  // Runs the exchange to its end and returns libcurl's result.
  CURLcode Perform();

  Abort aborted() const { return aborted_; }
  // Requests that went out on an established connection, and responses whose header block
  // (not counting 1xx answers) arrived complete.
  int requestsStarted() const { return requestsStarted_; }
  int responsesCompleted() const { return responsesCompleted_; }
  bool headersComplete() const { return headersComplete_; }
  int statusCode() const { return statusCode_; }
  const std::string& headerBlock() const { return headers_; }
  std::string& body() { return body_; }

 private:
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
  static int OnPrereq(void* self, char*, char*, int, int);
  static int OnProgress(void* self, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded);

  void MarkActivity() { lastActivity_ = std::chrono::steady_clock::now(); }
  bool IdleExpired() const;
  // Counts bytes received against the size limit; false (and the exchange aborted) beyond it.
  bool Admit(std::size_t bytes);
  bool ShouldAbort();

  CURL* easy_;
  std::chrono::milliseconds idleLimit_{0};
  std::chrono::steady_clock::time_point lastActivity_;
  std::size_t answerBytes_ = 0;
  std::size_t received_ = 0;
  std::chrono::milliseconds deadline_{0};
  std::chrono::steady_clock::time_point started_;
  bool connected_ = false;
  curl_off_t lastDownloaded_ = 0;
  curl_off_t lastUploaded_ = 0;
  Abort aborted_ = Abort::kNone;
  int requestsStarted_ = 0;
  int responsesCompleted_ = 0;
  bool inHeaderBlock_ = false;
  bool headersComplete_ = false;
  int statusCode_ = 0;
  std::string headers_;
  std::string body_;
};

}  // namespace pelvaro
