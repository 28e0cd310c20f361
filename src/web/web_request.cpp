#include "web/web_request.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <string_view>

#include "platform/worker.h"
#include "web/charset.h"
#include "web/curl_exchange.h"
#include "web/curl_global.h"
#include "web/curl_options.h"
#include "web/download_failure.h"
#include "web/header_block.h"
#include "web/text_search.h"
#include "web/transfer_limits.h"

// How the exchange maps onto libcurl, step by step, and the failure message of each part:
//   transport available   libcurl speaks HTTP (curl_version_info)                         700
//   URL split             curl_url: absolute http or https URL with a host                701
//   session and proxy     an easy handle; CURLOPT_PROXY, "" meaning no proxy at all       702
//   time-outs             CURLOPT_CONNECTTIMEOUT_MS = t covers resolving and connecting;  705
//                         once connected, t without a byte moving either way aborts
//                         (CurlExchange's idle limit, checked in the progress callback)
//   connection            CURLOPT_CURLU with the split URL, and the transport policy:     703
//                         http and https only, https redirects to https only, the
//                         certificate and host name checked (ApplyTransportPolicy)
//   request               verb and body options, HTTP/1.1                                 704
//   credentials           Basic, server and proxy                                         707
//   cookie engine         CURLOPT_COOKIEFILE "", only when cookies are given              708
//                         (set just before the transfer, which consumes the entry)
//   redirects             CURLOPT_FOLLOWLOCATION, at most kMaxRedirects                   709
//   header block          CURLOPT_HTTPHEADER, libcurl's own extra headers removed         710
// The transfer's result becomes a message by the phase the exchange had reached:
//   no connection established, or the request could not be written                      711
//   request written, no complete response header block (also too many redirects)         712
//   a followed redirect whose next request could not connect / failed otherwise    711 / 712
//   the final response's header block arrived, then the body broke                       713
//     (replaced by the status line, as the header block can be read)
//   the server's certificate or host name not trusted          "证书不受信任：" + host
//   a redirect to a scheme not spoken (https to http, anything but http and https)       716
//   the answer grew beyond the body limit / outlived the overall deadline          714 / 715
//     (TransferLimits: answerBytes, answerDeadline; nothing of such an answer is kept)
// A stopped worker's exchange always fails with the message of its phase and returns nothing.

namespace pelvaro {
namespace {

constexpr int kDefaultTimeoutSeconds = 30;

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
    case 714:
      return Gbk("714 数据超过大小上限!");
    case 715:
      return Gbk("715 请求超过总时限!");
    case 716:
      return Gbk("716 重定向被拒绝!");
    default:
      return Gbk("忽略错误/证书错误  失败！");
  }
}

bool IsCertificateFailure(CURLcode code) {
  switch (code) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
      return true;
    default:
      return false;
  }
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

  UrlHandle target = SplitWebUrl(url);
  if (!target) return fail(701);

  EasyHandle easy(curl_easy_init());
  if (!easy) return fail(702);
  CURL* handle = easy.get();
  if (!SetProxy(handle, options.proxy)) return fail(702);

  const long timeoutMs =
      1000L * (options.timeoutSeconds > 0 ? options.timeoutSeconds : kDefaultTimeoutSeconds);
  if (!Set(handle, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs)) return fail(705);

  if (!SetTarget(handle, target.get())) return fail(703);

  const std::string& body = options.postBytes.empty() ? options.postText : options.postBytes;
  if (!SetVerb(handle, options.method, body)) return fail(704);

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

  // libcurl's cookie engine is off unless a file is named; "" starts it empty, in memory, so
  // that cookies set along a redirect chain go with the next request. The file is named just
  // before the transfer (below), which consumes the entry; a later failing step would leak it.
  const bool cookieEngine = !options.cookies.empty();
  const bool follow = !options.noRedirect;
  if (!Set(handle, CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L) ||
      !Set(handle, CURLOPT_MAXREDIRS, kMaxRedirects)) {
    return fail(709);
  }

  // The server sees exactly the block's lines (plus Host, credentials and Content-Length):
  // libcurl's own Accept, Content-Type, Expect and Proxy-Connection lines are removed.
  CurlHeaderList headers;
  if (!headers.AppendBlock(BuildRequestHeaderBlock(options)) || !SuppressTransportHeaders(headers) ||
      curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get()) != CURLE_OK) {
    return fail(710);
  }

  if (StopRequested()) return fail(711);
  if (cookieEngine && !Set(handle, CURLOPT_COOKIEFILE, "")) return fail(708);
  CurlExchange exchange(handle);
  exchange.SetIdleLimit(std::chrono::milliseconds(timeoutMs));
  exchange.SetAnswerLimits(CurrentTransferLimits());
  CURLcode code = exchange.Perform();
  if (exchange.aborted() == CurlExchange::Abort::kTooLarge) return fail(714);
  if (exchange.aborted() == CurlExchange::Abort::kDeadline) return fail(715);
  if (IsCertificateFailure(code)) {
    result.status = Gbk("证书不受信任：") + EffectiveHost(handle);
    return Text();
  }
  if (code == CURLE_UNSUPPORTED_PROTOCOL && exchange.requestsStarted() > 0) return fail(716);
  if (code != CURLE_OK || exchange.aborted() != CurlExchange::Abort::kNone) {
    if (exchange.aborted() != CurlExchange::Abort::kStopped) {
      result.reason = FailureText(TransferFailure(code, exchange.statusCode(),
                                                  exchange.aborted() == CurlExchange::Abort::kIdle,
                                                  std::chrono::milliseconds(timeoutMs)));
    }
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
    if (line.size() >= 10 && EqualsNoCase(line.substr(0, 10), "Location: ")) {
      result.location = Text(line.substr(10));
    }
  }
  if (options.mergeCookies && !options.cookies.empty()) {
    result.receivedCookies = MergeCookies(options.cookies, result.receivedCookies);
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
