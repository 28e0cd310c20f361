#pragma once
// The requests a download makes before its transfer: the response head of a GET whose body
// is never read.

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "web/response_head.h"

namespace pelvaro {

// The request header lines of the size probe and of every range request, in this order.
const std::vector<std::string>& DownloadHeaderLines();

struct HeadProbe {
  std::vector<std::string> headerLines;  // sent as given
  std::string userAgent;                 // empty: no User-Agent line of the transport's own
  bool followRedirects = true;
  // The probe runs on the thread that starts the download; stopping that thread's job ends it.
  std::stop_token stop;
};

// Sends a GET for `url` and returns the head of the final response, closing the connection
// as soon as the body starts. Nullopt when no response head arrived within a minute (bad
// URL, refused connection, broken exchange) or the probe was stopped.
std::optional<ResponseHead> FetchResponseHead(const std::string& url, const HeadProbe& probe);

}  // namespace pelvaro
