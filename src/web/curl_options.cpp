#include "web/curl_options.h"

#include <array>
#include <string_view>

#include "web/header_block.h"

namespace pelvaro {
namespace {

constexpr std::array<const char*, 8> kVerbs = {"GET",     "POST",   "HEAD",  "PUT",
                                               "OPTIONS", "DELETE", "TRACE", "CONNECT"};

std::string EscapeUrl(const Text& url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : GbkToUtf8(url)) {
    if (c <= 0x20 || c >= 0x7F) {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

bool PartIs(CURLU* url, CURLUPart part, bool (*test)(std::string_view)) {
  char* value = nullptr;
  if (curl_url_get(url, part, &value, 0) != CURLUE_OK) return false;
  bool ok = test(value);
  curl_free(value);
  return ok;
}

}  // namespace

bool TransportAvailable() {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  if (info == nullptr || info->protocols == nullptr) return false;
  for (const char* const* protocol = info->protocols; *protocol != nullptr; ++protocol) {
    if (std::string_view(*protocol) == "http") return true;
  }
  return false;
}

UrlHandle SplitWebUrl(const Text& url) {
  UrlHandle handle(curl_url());
  if (!handle ||
      curl_url_set(handle.get(), CURLUPART_URL, EscapeUrl(url).c_str(), CURLU_PATH_AS_IS) != CURLUE_OK ||
      !PartIs(handle.get(), CURLUPART_SCHEME,
              [](std::string_view s) { return s == "http" || s == "https"; }) ||
      !PartIs(handle.get(), CURLUPART_HOST, [](std::string_view s) { return !s.empty(); })) {
    return nullptr;
  }
  curl_url_set(handle.get(), CURLUPART_USER, nullptr, 0);
  curl_url_set(handle.get(), CURLUPART_PASSWORD, nullptr, 0);
  curl_url_set(handle.get(), CURLUPART_FRAGMENT, nullptr, 0);
  return handle;
}

bool SetTarget(CURL* easy, CURLU* target) {
  return curl_easy_setopt(easy, CURLOPT_CURLU, target) == CURLE_OK &&
         Set(easy, CURLOPT_PROTOCOLS_STR, "http,https") &&
         Set(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") && Set(easy, CURLOPT_PATH_AS_IS, 1L) &&
         Set(easy, CURLOPT_NOSIGNAL, 1L);
}

bool SetProxy(CURL* easy, const Text& proxy) {
  std::string address = proxy.empty() || proxy.find("://") != Text::npos ? proxy : "http://" + proxy;
  // An empty no-proxy list keeps the environment from exempting hosts.
  return Set(easy, CURLOPT_PROXY, address) && Set(easy, CURLOPT_NOPROXY, "") &&
         Set(easy, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP)) &&
         Set(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
}

int VerbIndex(int method) { return method >= 0 && method < static_cast<int>(kVerbs.size()) ? method : 0; }

bool SetVerb(CURL* easy, int method, const std::string& body) {
  method = VerbIndex(method);
  const bool bodySent = !body.empty() || method == 1 || method == 3;
  bool ok = Set(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  if (method == 2) return ok && Set(easy, CURLOPT_NOBODY, 1L);
  if (bodySent) {
    ok = ok &&
         curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size())) ==
             CURLE_OK &&
         Set(easy, CURLOPT_POSTFIELDS, body.data());
  } else {
    ok = ok && Set(easy, CURLOPT_HTTPGET, 1L);
  }
  // POST keeps libcurl's own verb so that a 301, 302 or 303 turns it into a GET as browsers
  // do; a custom verb would be repeated on every redirect.
  if (method != 1 && (method != 0 || bodySent)) ok = ok && Set(easy, CURLOPT_CUSTOMREQUEST, kVerbs[method]);
  return ok;
}

bool IgnoreCertificateErrors(CURL* easy) {
  return Set(easy, CURLOPT_SSL_VERIFYPEER, 0L) && Set(easy, CURLOPT_SSL_VERIFYHOST, 0L);
}

bool SuppressTransportHeaders(CurlHeaderList& headers) {
  return headers.SuppressUnlessPresent("Accept") && headers.SuppressUnlessPresent("Content-Type") &&
         headers.SuppressUnlessPresent("Expect") && headers.SuppressUnlessPresent("Proxy-Connection");
}

}  // namespace pelvaro
