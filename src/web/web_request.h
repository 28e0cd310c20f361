#pragma once
// The one request function every page and API call goes through: a complete HTTP(S) exchange
// in one blocking call, with browser-like default headers, cookies kept as cookie text, the raw
// response header block and the body converted to local text when the page declares a charset.
// Failures never throw: they come back as a message in WebResult::status and an empty text.

#include <cstdint>
#include <string>

#include "platform/text.h"
#include "web/cookies.h"

namespace pelvaro {

struct WebRequestOptions {
  // 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT; anything else GET.
  int method = 0;
  Text postText;  // the body when postBytes is empty
  // Cookie text to send; replaced by the merged cookie set after an exchange that merges.
  Text cookies;
  Text extraHeaders;  // header lines separated by CR LF
  bool noRedirect = false;
  Text userName;  // Basic credentials for the server, used only when both are given
  Text password;
  Text proxy;  // "host:port"; empty means a direct connection
  Text proxyUser;
  Text proxyPassword;
  // Per phase: connecting, and at most this long without any byte moving while sending or
  // receiving. 0 or less means 30 seconds.
  int timeoutSeconds = 0;
  bool mergeCookies = true;
  bool completeHeaders = true;  // add the default headers the caller's block lacks
  std::string postBytes;        // takes precedence over postText when not empty
  bool normalizeHeaderNames = true;
};

// Outputs. A field the exchange does not reach keeps the caller's value.
struct WebResult {
  Text receivedCookies;  // cookies set by the response, appended to what the field holds
  Text responseHeaders;  // raw block, CR LF line ends, ending with an empty line
  Text location;         // value of the last "Location: " line
  Text status;           // "200 OK", or the message of the step that failed
  // Why the transfer failed, in plain words ("连接被拒绝", "找不到服务器", "连接超时", ...);
  // set only when no response came or the body broke off.
  Text reason;
  std::string body;      // bytes exactly as received
};

// Returns the body as local text (converted when the page declares a charset other than gbk
// or gb2312), or the empty text when no response header block was read.
Text WebRequest(const Text& url, WebRequestOptions& options, WebResult& result);
Text WebRequest(const Text& url);

// The bytes of text as UTF-8 (up to a zero byte) re-encoded as local text; characters without
// a local form become "?".
Text Utf8ToGbkText(std::string_view text);

// Waits amount units: unit 0 milliseconds, 1 seconds, 2 minutes, 3 hours, any other value the
// number of milliseconds per unit. On a worker the wait ends early when the worker is stopped
// (callers check StopRequested); on the GUI thread the window keeps working. Always true.
bool ResponsiveWait(std::int64_t amount, std::int64_t unit = 0);

}  // namespace pelvaro
