#pragma once
// The libcurl settings the request functions and the downloader share: URL splitting, proxy,
// verb and body, the transport policy (protocols, redirects, certificates), and removal of the
// headers libcurl would add on its own.

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace pelvaro {

class CurlHeaderList;

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

inline bool Set(CURL* easy, CURLoption option, long value) {
  return curl_easy_setopt(easy, option, value) == CURLE_OK;
}
inline bool Set(CURL* easy, CURLoption option, const char* value) {
  return curl_easy_setopt(easy, option, value) == CURLE_OK;
}
inline bool Set(CURL* easy, CURLoption option, const std::string& value) {
  return Set(easy, option, value.c_str());
}

// True when the linked libcurl speaks HTTP.
bool TransportAvailable();

// The most redirects any request follows: a page, an API answer, a probe or a block of a file.
inline constexpr long kMaxRedirects = 20;

// Splits an absolute http or https URL (GBK; sent as escaped UTF-8). User and password written
// into the URL are dropped (only explicit options carry credentials), and so is the fragment,
// which never goes on the wire. Null when the URL cannot be split.
UrlHandle SplitWebUrl(const Text& url);

// Connection basics: the target with the transport policy for its scheme, the path as given,
// no signals, and the proxy ("host:port"; empty means none, whatever the environment says).
bool SetTarget(CURL* easy, CURLU* target);
bool SetProxy(CURL* easy, const Text& proxy);

// 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT; out of range is GET.
int VerbIndex(int method);
// body must outlive the transfer. POST and PUT always declare a length; HEAD sends no body.
bool SetVerb(CURL* easy, int method, const std::string& body);

// Whether a URL names the https scheme (in any case), the way libcurl reads it.
bool IsHttpsUrl(std::string_view url);

// What every transfer may speak, whoever asks for it: http and https only, for the request and
// every redirect it follows; a request that started on https follows redirects to https only;
// the server's certificate and host name are always checked, against the system's authorities
// plus those of the file PELVARO_CA_FILE names.
bool ApplyTransportPolicy(CURL* easy, bool secure);
bool ApplyTransportPolicy(CURL* easy, std::string_view url);

// The host of the URL the transfer last used (after redirects); empty when unknown.
std::string EffectiveHost(CURL* easy);

// What every transfer of a video file (its probe and each block) asks of libcurl: the URL with
// the transport policy, HTTP/1.1, the header lines, redirects up to kMaxRedirects when
// `followRedirects`, the connect limit and progress calls. False when the transport policy
// cannot be applied (the transfer must not run then).
bool SetDownloadOptions(CURL* easy, const std::string& url, curl_slist* headers, bool followRedirects,
                        std::chrono::milliseconds connectLimit);

// Keeps libcurl from adding Accept, Content-Type, Expect and Proxy-Connection lines of its own.
bool SuppressTransportHeaders(CurlHeaderList& headers);

}  // namespace pelvaro
