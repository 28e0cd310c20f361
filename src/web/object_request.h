#pragma once
// The byte-returning sibling of WebRequest: one exchange through a request object, returning
// the response body as bytes (the speech feature fetches its MP3 files this way). Errors are
// not reported; a failed exchange yields empty bytes and status 0.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/text.h"

namespace pelvaro {

// A request object that outlives single calls: one libcurl handle with its connections, its
// cookie engine and its time-outs. Use it from one thread at a time.
class RequestObject {
 public:
  RequestObject();
  ~RequestObject();
  RequestObject(const RequestObject&) = delete;
  RequestObject& operator=(const RequestObject&) = delete;

  bool valid() const;
  // Until set, connecting may take 60 s and sending or receiving may stall for 30 s.
  void SetTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds idle);
  std::chrono::milliseconds connectTimeout() const;
  std::chrono::milliseconds idleTimeout() const;

  struct State;  // the libcurl side, private to the request function
  State& state() { return *state_; }

 private:
  std::unique_ptr<State> state_;
};

struct ObjectRequestOptions {
  int method = 0;  // as WebRequestOptions::method; out of range is GET
  Text postText;   // the body when postBytes is empty
  // Cookie text to send when supplied (a "Cookie:" inside it is removed); rewritten by the merge.
  std::optional<Text> cookies;
  Text extraHeaders;  // header lines separated by CR LF
  bool noRedirect = false;
  std::string postBytes;
  Text proxy;  // "host:port"; empty leaves the object's setting (a direct connection)
  // -1 leaves the object's time-outs alone; less than 1 means 15 s; else seconds per phase.
  int timeoutSeconds = 0;
  Text proxyUser;
  Text proxyPassword;
  int credentialFlags = 1;                 // 1: the credentials are the proxy's; 0: the server's
  RequestObject* requestObject = nullptr;  // used instead of a new object; the caller keeps it
  bool mergeCookies = true;
  bool completeHeaders = true;
  bool normalizeHeaderNames = true;
};

struct ObjectRequestResult {
  Text receivedCookies;  // cleared, then the response's cookies (merged when that applies)
  Text responseHeaders;  // every response header line, without the status line
  int statusCode = 0;
};

std::string ObjectWebRequest(const Text& url, ObjectRequestOptions& options, ObjectRequestResult& result);
std::string ObjectWebRequest(const Text& url);

}  // namespace pelvaro
