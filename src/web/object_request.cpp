#include "web/object_request.h"

#include <utility>
#include <vector>

#include "platform/worker.h"
#include "toolkit/encoding.h"
#include "web/cookies.h"
#include "web/curl_exchange.h"
#include "web/curl_global.h"
#include "web/curl_options.h"
#include "web/header_block.h"
#include "web/text_search.h"
#include "web/transfer_limits.h"

namespace pelvaro {
namespace {

constexpr std::chrono::milliseconds kObjectConnectTimeout{60000};
constexpr std::chrono::milliseconds kObjectIdleTimeout{30000};
constexpr std::chrono::milliseconds kDefaultTimeout{15000};

// Request headers as the object holds them: setting a name again replaces its value in place,
// setting an empty value removes it.
class HeaderSet {
 public:
  void Set(std::string_view name, std::string_view value) {
    Text trimmedName = TrimBlanks(name);
    Text trimmedValue = TrimBlanks(value);
    if (trimmedName.empty()) return;
    for (auto it = headers_.begin(); it != headers_.end(); ++it) {
      if (!EqualsNoCase(it->first, trimmedName)) continue;
      if (trimmedValue.empty()) {
        headers_.erase(it);
      } else {
        it->second = std::move(trimmedValue);
      }
      return;
    }
    if (!trimmedValue.empty()) headers_.emplace_back(std::move(trimmedName), std::move(trimmedValue));
  }

  // Proxy credentials go to the proxy only, never through a tunnel to the server.
  void Fill(CurlHeaderList& server, CurlHeaderList& proxy) const {
    for (const auto& [name, value] : headers_) {
      Text line = name + ": " + value;
      if (line.find_first_of("\r\n") != Text::npos) continue;
      (EqualsNoCase(name, "Proxy-Authorization") ? proxy : server).Append(line);
    }
  }

 private:
  std::vector<std::pair<Text, Text>> headers_;
};

Text ObjectHeaderBlock(const Text& url, const ObjectRequestOptions& options, int method) {
  Text block = options.extraHeaders;
  if (options.completeHeaders) {
    if (!ContainsNoCase(block, "Accept:")) block += "\r\nAccept: */*";
    if (!ContainsNoCase(block, "Referer:")) block += "\r\nReferer: " + url;
    if (!ContainsNoCase(block, "Accept-Language:")) block += "\r\nAccept-Language: zh-cn";
    if (!ContainsNoCase(block, "User-Agent:")) {
      block += "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
    }
    if (method == 1 && !ContainsNoCase(block, "Content-Type:")) {
      block += "\r\nContent-Type: application/x-www-form-urlencoded";
    }
  }
  if (options.normalizeHeaderNames) block = NormalizeHeaderNames(block);
  return block;
}

void ApplyBlock(std::string_view block, HeaderSet& headers) {
  auto apply = [&headers](std::string_view line, bool skipKeepAlive) {
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    Text name = TrimBlanks(line.substr(0, colon));
    Text value = TrimBlanks(line.substr(colon + 1));
    if (skipKeepAlive && name == "Connection" && value == "keep-alive") return;
    headers.Set(name, value);
  };
  if (block.find(kCrLf) == std::string_view::npos) return apply(block, false);
  for (std::string_view line : SplitAll(block, kCrLf)) {
    if (!line.empty()) apply(line, true);
  }
}

}  // namespace

struct ShareDeleter {
  void operator()(CURLSH* share) const { curl_share_cleanup(share); }
};

// Each call runs on an easy handle of its own; the object's share carries the cookie jar, the
// name cache and the open connections from call to call.
struct RequestObject::State {
  std::unique_ptr<CURLSH, ShareDeleter> share;
  std::chrono::milliseconds connectTimeout = kObjectConnectTimeout;
  std::chrono::milliseconds idleTimeout = kObjectIdleTimeout;
};

RequestObject::RequestObject() : state_(std::make_unique<State>()) {
  EnsureCurlInitialised();
  state_->share.reset(curl_share_init());
  if (!state_->share) return;
  for (curl_lock_data data : {CURL_LOCK_DATA_COOKIE, CURL_LOCK_DATA_DNS, CURL_LOCK_DATA_CONNECT}) {
    if (curl_share_setopt(state_->share.get(), CURLSHOPT_SHARE, data) != CURLSHE_OK) state_->share.reset();
    if (!state_->share) return;
  }
}

RequestObject::~RequestObject() = default;

bool RequestObject::valid() const { return state_->share != nullptr; }

void RequestObject::SetTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds idle) {
  state_->connectTimeout = connect;
  state_->idleTimeout = idle;
}

std::chrono::milliseconds RequestObject::connectTimeout() const { return state_->connectTimeout; }
std::chrono::milliseconds RequestObject::idleTimeout() const { return state_->idleTimeout; }

std::string ObjectWebRequest(const Text& url, ObjectRequestOptions& options, ObjectRequestResult& result) {
  EnsureCurlInitialised();
  const int method = VerbIndex(options.method);
  std::unique_ptr<RequestObject> own;
  RequestObject* object = options.requestObject;
  if (object == nullptr) {
    own = std::make_unique<RequestObject>();
    object = own.get();
  }
  if (!object->valid()) return {};
  RequestObject::State& state = object->state();
  EasyHandle handle(curl_easy_init());
  if (!handle) return {};
  CURL* easy = handle.get();
  curl_easy_setopt(easy, CURLOPT_SHARE, state.share.get());

  if (options.timeoutSeconds != -1) {
    auto t = options.timeoutSeconds < 1 ? kDefaultTimeout
                                        : std::chrono::milliseconds(1000LL * options.timeoutSeconds);
    object->SetTimeouts(t, t);
  }
  Set(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(state.connectTimeout.count()));
  SetProxy(easy, options.proxy);

  UrlHandle target = SplitWebUrl(url);
  if (target) SetTarget(easy, target.get());
  const std::string& body = options.postBytes.empty() ? options.postText : options.postBytes;
  SetVerb(easy, method, body);
  Set(easy, CURLOPT_FOLLOWLOCATION, options.noRedirect ? 0L : 1L);
  Set(easy, CURLOPT_MAXREDIRS, kMaxRedirects);

  HeaderSet headers;
  if (!options.proxy.empty() && !options.proxyUser.empty()) {
    if (options.credentialFlags == 1) {
      Set(easy, CURLOPT_PROXYUSERNAME, options.proxyUser);
      Set(easy, CURLOPT_PROXYPASSWORD, options.proxyPassword);
      Set(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_ANY));
      headers.Set("Proxy-Authorization",
                  "Basic " + Base64Encode(options.proxyUser + ":" + options.proxyPassword));
    } else if (options.credentialFlags == 0) {
      Set(easy, CURLOPT_USERNAME, options.proxyUser);
      Set(easy, CURLOPT_PASSWORD, options.proxyPassword);
      Set(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_ANY));
    }
  }
  if (options.cookies) {
    if (ContainsNoCase(*options.cookies, "Cookie:")) {
      *options.cookies = RemoveAll(*options.cookies, "Cookie:", true);
    }
    headers.Set("Cookie", *options.cookies);
  }
  ApplyBlock(ObjectHeaderBlock(url, options, method), headers);

  CurlHeaderList serverHeaders;
  CurlHeaderList proxyHeaders;
  headers.Fill(serverHeaders, proxyHeaders);
  SuppressTransportHeaders(serverHeaders);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, serverHeaders.get());
  curl_easy_setopt(easy, CURLOPT_PROXYHEADER, proxyHeaders.get());
  Set(easy, CURLOPT_HEADEROPT, CURLHEADER_SEPARATE);

  std::string received;
  Text responseHeaders;
  int statusCode = 0;
  bool stopped = StopRequested();
  if (target && !stopped) {
    // The object keeps the cookies responses set (along redirects too), as a session would.
    Set(easy, CURLOPT_COOKIEFILE, "");
    CurlExchange exchange(easy);
    exchange.SetIdleLimit(state.idleTimeout);
    exchange.SetAnswerLimits(CurrentTransferLimits());
    CURLcode code = exchange.Perform();
    stopped = exchange.aborted() == CurlExchange::Abort::kStopped;
    if (code == CURLE_OK && exchange.aborted() == CurlExchange::Abort::kNone && exchange.headersComplete()) {
      const std::string& block = exchange.headerBlock();
      std::size_t firstLineEnd = block.find(kCrLf);
      responseHeaders = block.substr(firstLineEnd == std::string::npos ? block.size() : firstLineEnd + 2);
      statusCode = exchange.statusCode();
      received = std::move(exchange.body());
    }
  }
  if (stopped) return {};

  result.responseHeaders = responseHeaders;
  result.statusCode = statusCode;
  result.receivedCookies.clear();
  CollectSetCookies(responseHeaders, result.receivedCookies);
  if (options.mergeCookies && options.cookies) {
    result.receivedCookies = MergeCookies(*options.cookies, result.receivedCookies);
  }
  return received;
}

std::string ObjectWebRequest(const Text& url) {
  ObjectRequestOptions options;
  ObjectRequestResult result;
  return ObjectWebRequest(url, options, result);
}

}  // namespace pelvaro
