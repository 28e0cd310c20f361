#pragma once
// The inputs of one page or API exchange (see web_request.h).

#include <string>

#include "platform/text.h"

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

}  // namespace pelvaro
