#include "web/web_request.h"

#include <curl/curl.h>

#include <array>
#include <chrono>
#include <memory>
#include <string_view>

#include "platform/worker.h"
#include "web/charset.h"
#include "web/curl_exchange.h"
#include "web/curl_global.h"
#include "web/header_block.h"
#include "web/text_search.h"

// How the exchange maps onto libcurl, step by step, and which failure message each part gives:
//   transport available     libcurl speaks HTTP (curl_version_info)              700
//   URL split               curl_url: absolute http or https URL with a host     701
//   session, proxy          easy handle; CURLOPT_PROXY ("" = no proxy at all)    702
//   time-outs               CURLOPT_CONNECTTIMEOUT_MS = t (resolve and connect);  705
//                           after connecting, no byte moving in either direction
//                           for t aborts (CurlExchange's idle limit)
//   connection              CURLOPT_CURLU with the split URL                     703
//   request                 verb options, HTTP/1.1                               704
//   credentials             Basic only, server and proxy                         707
//   certificate switches    CURLOPT_SSL_VERIFYPEER/VERIFYHOST off                (uncoded)
//   cookie engine           CURLOPT_COOKIEFILE "" only when cookies are given    708
//   redirects               CURLOPT_FOLLOWLOCATION                               709
//   header block            CURLOPT_HTTPHEADER, libcurl's own headers removed    710
// curl_easy_perform's result becomes a message by the phase the exchange reached:
//   no connection established, or the request could not be written          711
//   request written but no complete response header block, or a followed
//     redirect whose next request could not go out (711 when it failed to
//     connect)                                                               712 / 711
//   the final response's header block arrived, then the body broke          713 (then replaced by
//                                                                             the status line)
// A stopped worker's exchange always fails with the message of its phase and returns nothing.

namespace pelvaro {
namespace {

constexpr int kDefaultTimeoutSeconds = 30;
constexpr long kMaxRedirects = 10;

constexpr std::array<const char*, 8> kVerbs = {"GET",     "POST",   "HEAD",  "PUT",
                                               "OPTIONS", "DELETE", "TRACE", "CONNECT"};

Text FailureMessage(int code) {
  switch (code) {
    case 700:
      return Gbk("700 当前系统不支持WinHttp服务!");
    case 701:
      return Gbk("701 解析URL地址失败!");
    case 702:
      return Gbk("702 创建WinHttp会话失败!");
    case 703:
      return Gbk("703 创建WinHttp连接失败!");
    case 704:
      return Gbk("704 创建WinHttp请求失败!");
    case 705:
      return Gbk("705 设置超时时间失败!");
    case 707:
      return Gbk("707 设置代理凭证失败!");
    case 708:
      return Gbk("708 禁止自动设置Cookies失败!");
    case 709:
      return Gbk("709 重定向设置失败!");
    case 710:
      return Gbk("710 设置协议头失败!");
    case 711:
      return Gbk("711 发送请求失败!");
    case 712:
      return Gbk("712 服务器未响应!");
    case 713:
      return Gbk("713 读取数据失败!");
    default:
      return Gbk("忽略错误/证书错误  失败！");
  }
}
constexpr int kCertificateFailure = 0;

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

bool TransportAvailable() {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  if (info == nullptr || info->protocols == nullptr) return false;
  for (const char* const* protocol = info->protocols; *protocol != nullptr; ++protocol) {
    if (std::string_view(*protocol) == "http") return true;
  }
  return false;
}

// The URL as the wire carries it: UTF-8, with spaces, controls and non-ASCII bytes escaped.
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

// Splits an absolute http or https URL. User and password written into the URL are not
// credentials here (only the options carry those), and the fragment never goes on the wire.
UrlHandle SplitUrl(const Text& url, bool& secure) {
  UrlHandle handle(curl_url());
  if (!handle) return nullptr;
  if (curl_url_set(handle.get(), CURLUPART_URL, EscapeUrl(url).c_str(), CURLU_PATH_AS_IS) != CURLUE_OK) {
    return nullptr;
  }
  char* scheme = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return nullptr;
  std::string_view name(scheme);
  bool web = name == "http" || name == "https";
  secure = name == "https";
  curl_free(scheme);
  if (!web) return nullptr;
  char* host = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) return nullptr;
  bool hasHost = host[0] != '\0';
  curl_free(host);
  if (!hasHost) return nullptr;
  curl_url_set(handle.get(), CURLUPART_USER, nullptr, 0);
  curl_url_set(handle.get(), CURLUPART_PASSWORD, nullptr, 0);
  curl_url_set(handle.get(), CURLUPART_FRAGMENT, nullptr, 0);
  return handle;
}

bool Set(CURL* easy, CURLoption option, long value) {
  return curl_easy_setopt(easy, option, value) == CURLE_OK;
}
bool Set(CURL* easy, CURLoption option, const char* value) {
  return curl_easy_setopt(easy, option, value) == CURLE_OK;
}
bool Set(CURL* easy, CURLoption option, const std::string& value) { return Set(easy, option, value.c_str()); }

bool SetProxy(CURL* easy, const Text& proxy) {
  std::string address = proxy.empty() || proxy.find("://") != Text::npos ? proxy : "http://" + proxy;
  // An empty proxy switches off every proxy, the environment's included; an empty no-proxy
  // list keeps the environment from exempting hosts.
  return Set(easy, CURLOPT_PROXY, address) && Set(easy, CURLOPT_NOPROXY, "") &&
         Set(easy, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP)) &&
         Set(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
}

bool SetVerb(CURL* easy, int method, const std::string& body) {
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
  // POST keeps libcurl's own verb so that a 301, 302 or 303 turns it into a GET like browsers
  // do; a custom verb would be repeated on every redirect.
  if (method != 1 && (method != 0 || bodySent)) ok = ok && Set(easy, CURLOPT_CUSTOMREQUEST, kVerbs[method]);
  return ok;
}

bool IsConnectFailure(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_SEND_ERROR:
      return true;
    default:
      return false;
  }
}

bool HasLocationLine(std::string_view headers) {
  for (std::string_view line : SplitAll(headers, kCrLf)) {
    if (line.size() >= 10 && EqualsNoCase(line.substr(0, 10), "Location: ")) return true;
  }
  return false;
}

// The failure message for a transfer that did not end well, by the phase it reached.
int FailedPhase(CURLcode code, const CurlExchange& exchange, bool followRedirects) {
  if (exchange.requestsStarted() == 0) return 711;
  if (exchange.requestsStarted() > exchange.responsesCompleted()) return code == CURLE_SEND_ERROR ? 711 : 712;
  if (code == CURLE_TOO_MANY_REDIRECTS) return 712;
  int status = exchange.statusCode();
  bool followed =
      followRedirects && status / 100 == 3 && status != 304 && HasLocationLine(exchange.headerBlock());
  if (followed) return IsConnectFailure(code) || code == CURLE_OPERATION_TIMEDOUT ? 711 : 712;
  return 713;
}

Text StatusFrom(std::string_view headers) {
  if (headers.size() < 10) return {};
  std::size_t end = headers.find(kCrLf, 9);
  return Text(headers.substr(9, end == std::string_view::npos ? std::string_view::npos : end - 9));
}

}  // namespace

Text WebRequest(const Text& url, WebRequestOptions& options, WebResult& result) {
  auto fail = [&result](int code) {
    result.status = FailureMessage(code);
    return Text();
  };
  EnsureCurlInitialised();
  if (!TransportAvailable()) return fail(700);

  bool secure = false;
  UrlHandle target = SplitUrl(url, secure);
  if (!target) return fail(701);

  EasyHandle easy(curl_easy_init());
  if (!easy) return fail(702);
  CURL* handle = easy.get();
  if (!SetProxy(handle, options.proxy) || !Set(handle, CURLOPT_NOSIGNAL, 1L)) return fail(702);

  const long timeoutMs =
      1000L * (options.timeoutSeconds > 0 ? options.timeoutSeconds : kDefaultTimeoutSeconds);
  if (!Set(handle, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs)) return fail(705);

  if (curl_easy_setopt(handle, CURLOPT_CURLU, target.get()) != CURLE_OK ||
      !Set(handle, CURLOPT_PROTOCOLS_STR, "http,https") ||
      !Set(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") || !Set(handle, CURLOPT_PATH_AS_IS, 1L)) {
    return fail(703);
  }

  const int method =
      options.method >= 0 && options.method < static_cast<int>(kVerbs.size()) ? options.method : 0;
  const std::string& body = options.postBytes.empty() ? options.postText : options.postBytes;
  if (!SetVerb(handle, method, body)) return fail(704);

  if (!options.userName.empty() && !options.password.empty()) {
    if (!Set(handle, CURLOPT_USERNAME, options.userName) ||
        !Set(handle, CURLOPT_PASSWORD, options.password) ||
        !Set(handle, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC))) {
      return fail(707);
    }
  }
  if (!options.proxyUser.empty() && !options.proxyPassword.empty()) {
    if (!Set(handle, CURLOPT_PROXYUSERNAME, options.proxyUser) ||
        !Set(handle, CURLOPT_PROXYPASSWORD, options.proxyPassword) ||
        !Set(handle, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC))) {
      return fail(707);
    }
  }

  if (!Set(handle, CURLOPT_SSL_VERIFYPEER, 0L) || !Set(handle, CURLOPT_SSL_VERIFYHOST, 0L)) {
    return fail(kCertificateFailure);
  }

  // libcurl's cookie engine is off unless a file is named; "" starts it empty, in memory, so
  // that cookies set along a redirect chain go with the next request.
  if (!options.cookies.empty() && !Set(handle, CURLOPT_COOKIEFILE, "")) return fail(708);
  const bool follow = !options.noRedirect;
  if (!Set(handle, CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L) ||
      !Set(handle, CURLOPT_MAXREDIRS, kMaxRedirects)) {
    return fail(709);
  }

  // The server sees exactly the block's lines (plus Host, credentials and Content-Length):
  // libcurl's own Accept, Content-Type, Expect and Proxy-Connection lines are removed.
  CurlHeaderList headers;
  if (!headers.AppendBlock(BuildRequestHeaderBlock(options)) || !headers.SuppressUnlessPresent("Accept") ||
      !headers.SuppressUnlessPresent("Content-Type") || !headers.SuppressUnlessPresent("Expect") ||
      !headers.SuppressUnlessPresent("Proxy-Connection") ||
      curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get()) != CURLE_OK) {
    return fail(710);
  }

  if (StopRequested()) return fail(711);
  CurlExchange exchange(handle);
  exchange.SetIdleLimit(std::chrono::milliseconds(timeoutMs));
  CURLcode code = exchange.Perform();
  if (code != CURLE_OK || exchange.aborted() != CurlExchange::Abort::kNone) {
    int phase = FailedPhase(code, exchange, follow);
    if (phase != 713 || exchange.aborted() == CurlExchange::Abort::kStopped) return fail(phase);
    result.status = FailureMessage(713);
  }
  if (!exchange.headersComplete()) return Text();

  const std::string& block = exchange.headerBlock();
  result.responseHeaders = block;
  result.status = StatusFrom(block);
  CollectSetCookies(block, result.receivedCookies);
  for (std::string_view line : SplitAll(block, kCrLf)) {
    if (line.size() >= 10 && EqualsNoCase(line.substr(0, 10), "Location: "))
      result.location = Text(line.substr(10));
  }
  if (options.mergeCookies && !options.cookies.empty()) {
    Text merged = MergeCookies(options.cookies, result.receivedCookies);
    result.receivedCookies = merged;
  }
  result.body = std::move(exchange.body());

  Text text(std::string_view(result.body).substr(0, result.body.find('\0')));
  Text charset = SniffCharset(text);
  if (!charset.empty() && charset != "gbk" && charset != "gb2312") {
    if (std::optional<Text> decoded = DecodeToLocal(result.body, charset)) text = std::move(*decoded);
  }
  return text;
}

Text WebRequest(const Text& url) {
  WebRequestOptions options;
  WebResult result;
  return WebRequest(url, options, result);
}

Text Utf8ToGbkText(std::string_view text) { return Utf8ToGbk(text.substr(0, text.find('\0'))); }

bool ResponsiveWait(std::int64_t amount, std::int64_t unit) {
  std::int64_t perUnit = unit == 0 ? 1 : unit == 1 ? 1000 : unit == 2 ? 60000 : unit == 3 ? 3600000 : unit;
  if (amount <= 0 || perUnit <= 0) return true;
  // Far beyond any real pause, and small enough for clock arithmetic in nanoseconds.
  constexpr std::int64_t kLongestWait = 10LL * 366 * 24 * 3600 * 1000;
  std::int64_t milliseconds = amount > kLongestWait / perUnit ? kLongestWait : amount * perUnit;
  WaitFor(std::chrono::milliseconds(milliseconds));
  return true;
}

}  // namespace pelvaro
