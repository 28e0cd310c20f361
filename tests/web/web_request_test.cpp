#include "web/web_request.h"

#include <gtest/gtest.h>

#include <future>
#include <stop_token>

#include "platform/worker.h"
#include "web/raw_http_server.h"

namespace pelvaro {
namespace {

using testing::RawConnection;
using testing::RawHttpServer;
using testing::RawRequest;
using Lines = std::vector<std::string>;

const std::string kUserAgent =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)";
const std::string kAccept = "Accept: text/html, application/xhtml+xml, */*";
const std::string kAcceptEncoding = "Accept-Encoding: gbk, GB2312";
const std::string kAcceptLanguage = "Accept-Language: zh-cn";
const std::string kContentType = "Content-Type: application/x-www-form-urlencoded";
const std::string kCacheControl = "Cache-Control: no-cache";

RawHttpServer::Handler Answer(std::string response) {
  return [response](const RawRequest&, RawConnection& connection) { connection.Send(response); };
}

// The header lines the client chose, without the transport's Host and Content-Length.
Lines ChosenLines(const RawRequest& request) {
  Lines lines;
  for (const std::string& line : request.headerLines) {
    if (line.starts_with("Host: ") || line.starts_with("Content-Length: ")) continue;
    lines.push_back(line);
  }
  return lines;
}

TEST(WebRequest, SendsExactlyTheHeaderBlockLines) {
  struct Case {
    const char* name;
    WebRequestOptions options;
    std::string requestLine;
    Lines lines;
  };
  auto with = [](auto change) {
    WebRequestOptions options;
    change(options);
    return options;
  };
  const Lines defaults = {kUserAgent, kAccept, kAcceptEncoding, kAcceptLanguage, kCacheControl};
  const Case cases[] = {
      {"defaults only", {}, "GET /p?q=1 HTTP/1.1", defaults},
      {"post adds content type",
       with([](WebRequestOptions& o) {
         o.method = 1;
         o.postText = "a=1";
       }),
       "POST /p?q=1 HTTP/1.1",
       {kUserAgent, kAccept, kAcceptEncoding, kAcceptLanguage, kContentType, kCacheControl}},
      {"caller's content type is normalised and suppresses the default",
       with([](WebRequestOptions& o) {
         o.method = 1;
         o.extraHeaders = "content-type: text/plain";
       }),
       "POST /p?q=1 HTTP/1.1",
       {"Content-Type: text/plain", kUserAgent, kAccept, kAcceptEncoding, kAcceptLanguage, kCacheControl}},
      {"unanchored search: X-Accept suppresses Accept",
       with([](WebRequestOptions& o) { o.extraHeaders = "X-Accept: 1"; }),
       "GET /p?q=1 HTTP/1.1",
       {"X-Accept: 1", kUserAgent, kAcceptEncoding, kAcceptLanguage, kCacheControl}},
      {"unknown method is GET", with([](WebRequestOptions& o) { o.method = 9; }), "GET /p?q=1 HTTP/1.1",
       defaults},
      {"cookie line last",
       with([](WebRequestOptions& o) { o.cookies = "a=1; b=2"; }),
       "GET /p?q=1 HTTP/1.1",
       {kUserAgent, kAccept, kAcceptEncoding, kAcceptLanguage, kCacheControl, "Cookie: a=1; b=2"}},
      {"keep-alive line removed",
       with([](WebRequestOptions& o) { o.extraHeaders = "Connection: keep-alive\r\nreferer: r"; }),
       "GET /p?q=1 HTTP/1.1",
       {"Referer: r", kUserAgent, kAccept, kAcceptEncoding, kAcceptLanguage, kCacheControl}},
      {"bare block, empty value kept",
       with([](WebRequestOptions& o) {
         o.completeHeaders = false;
         o.normalizeHeaderNames = false;
         o.extraHeaders = "x-lower: 1\r\nX-Empty:";
       }),
       "GET /p?q=1 HTTP/1.1",
       {"x-lower: 1", "X-Empty:"}},
      {"user without password sends no credentials",
       with([](WebRequestOptions& o) {
         o.completeHeaders = false;
         o.userName = "u";
       }),
       "GET /p?q=1 HTTP/1.1",
       {}},
      {"user and password send Basic credentials",
       with([](WebRequestOptions& o) {
         o.completeHeaders = false;
         o.userName = "u";
         o.password = "p";
       }),
       "GET /p?q=1 HTTP/1.1",
       {"Authorization: Basic dTpw"}},
      {"put with a body",
       with([](WebRequestOptions& o) {
         o.method = 3;
         o.completeHeaders = false;
         o.postBytes = std::string("\0\1", 2);
         o.postText = "ignored";
       }),
       "PUT /p?q=1 HTTP/1.1",
       {}},
      {"large post waits for no go-ahead",
       with([](WebRequestOptions& o) {
         o.method = 1;
         o.completeHeaders = false;
         o.postText = std::string(3 << 20, 'x');
       }),
       "POST /p?q=1 HTTP/1.1",
       {}},
  };
  for (const Case& c : cases) {
    RawHttpServer server(Answer(RawHttpServer::Response("200 OK", "ok")));
    WebRequestOptions options = c.options;
    WebResult result;
    EXPECT_EQ(WebRequest(server.Url("/p?q=1#frag"), options, result), "ok") << c.name;
    ASSERT_EQ(server.requests().size(), 1u) << c.name;
    const RawRequest request = server.requests()[0];
    EXPECT_EQ(request.requestLine, c.requestLine) << c.name;
    EXPECT_EQ(ChosenLines(request), c.lines) << c.name;
    EXPECT_EQ(request.Header("Host"), "127.0.0.1:" + std::to_string(server.port())) << c.name;
    const std::string& sent = c.options.postBytes.empty() ? c.options.postText : c.options.postBytes;
    EXPECT_EQ(request.body, sent) << c.name;
    bool hasLength = !request.Header("Content-Length").empty();
    EXPECT_EQ(hasLength, !sent.empty() || c.options.method == 1 || c.options.method == 3) << c.name;
  }
}

TEST(WebRequest, VerbsAndRequestTargets) {
  RawHttpServer server(Answer(RawHttpServer::Response("200 OK", "")));
  const char* verbs[] = {"GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  for (int method = 0; method < 8; ++method) {
    WebRequestOptions options;
    options.method = method;
    WebResult result;
    WebRequest(server.Url("/v"), options, result);
    EXPECT_EQ(result.status, "200 OK") << verbs[method];
  }
  WebRequest("http://127.0.0.1:" + std::to_string(server.port()));
  WebRequest("http://127.0.0.1:" + std::to_string(server.port()) + "?x=1");
  WebRequest(server.Url("/a b/") + Gbk("中"));
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 11u);
  for (int method = 0; method < 8; ++method) {
    EXPECT_EQ(requests[method].requestLine, std::string(verbs[method]) + " /v HTTP/1.1");
  }
  EXPECT_EQ(requests[8].requestLine, "GET / HTTP/1.1");
  EXPECT_EQ(requests[9].requestLine, "GET /?x=1 HTTP/1.1");
  EXPECT_EQ(requests[10].requestLine, "GET /a%20b/%E4%B8%AD HTTP/1.1");
}

TEST(WebRequest, ReadsStatusHeadersCookiesAndLocation) {
  RawHttpServer server(Answer(RawHttpServer::Response(
      "404 Not Found", "missing",
      "Set-Cookie: a=1; path=/\nSet-Cookie: b=2\r\nset-cookie: c=3\r\nlocation: /elsewhere\r\n")));
  WebRequestOptions options;
  WebResult result;
  result.receivedCookies = "";
  EXPECT_EQ(WebRequest(server.Url("/"), options, result), "missing");
  EXPECT_EQ(result.status, "404 Not Found");
  EXPECT_EQ(result.receivedCookies, "a=1; b=2");
  EXPECT_EQ(result.location, "/elsewhere");
  EXPECT_EQ(result.body, "missing");
  EXPECT_EQ(result.responseHeaders,
            "HTTP/1.1 404 Not Found\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\nset-cookie: c=3\r\n"
            "location: /elsewhere\r\nContent-Length: 7\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(options.cookies, "");  // nothing sent, nothing merged

  // With cookies sent, both fields end up holding the merged set.
  options.cookies = "a=0; z=9";
  result.receivedCookies = "";
  WebRequest(server.Url("/"), options, result);
  EXPECT_EQ(options.cookies, "a=1; b=2; z=9");
  EXPECT_EQ(result.receivedCookies, "a=1; b=2; z=9");

  options.cookies = "a=0";
  options.mergeCookies = false;
  result.receivedCookies = "old=1";
  WebRequest(server.Url("/"), options, result);
  EXPECT_EQ(options.cookies, "a=0");
  EXPECT_EQ(result.receivedCookies, "old=1; a=1; b=2");
}

TEST(WebRequest, RedirectsFollowedOrReported) {
  RawHttpServer server([](const RawRequest& request, RawConnection& connection) {
    if (request.Path() == "/from") {
      connection.Send(RawHttpServer::Response("302 Found", "moved", "Location: /to\r\nSet-Cookie: s=1\r\n"));
    } else {
      connection.Send(RawHttpServer::Response("200 OK", "arrived " + request.Header("Cookie")));
    }
  });
  for (bool noRedirect : {true, false}) {
    WebRequestOptions options;
    options.noRedirect = noRedirect;
    WebResult result;
    result.location = "untouched";
    Text text = WebRequest(server.Url("/from"), options, result);
    if (noRedirect) {
      EXPECT_EQ(text, "moved");
      EXPECT_EQ(result.status, "302 Found");
      EXPECT_EQ(result.location, "/to");
      EXPECT_EQ(result.receivedCookies, "s=1");
    } else {
      EXPECT_EQ(text, "arrived ");  // no cookie engine without cookies
      EXPECT_EQ(result.status, "200 OK");
      EXPECT_EQ(result.location, "untouched");
      EXPECT_EQ(result.receivedCookies, "");
    }
  }
  // With cookies, the transport carries the redirect's cookie to the next request.
  WebRequestOptions options;
  options.cookies = "a=1";
  options.completeHeaders = false;
  WebResult result;
  WebRequest(server.Url("/from"), options, result);
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(requests.back().Path(), "/to");
  EXPECT_NE(std::find(requests.back().headerLines.begin(), requests.back().headerLines.end(), "Cookie: s=1"),
            requests.back().headerLines.end());
}

TEST(WebRequest, ConvertsBodiesFromTheDeclaredCharset) {
  const std::string utf8Chinese = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
  const Text gbkChinese = Gbk("中文");
  const std::string padding(1100, ' ');
  struct Case {
    const char* name;
    std::string body;
    Text text;
  };
  const Case cases[] = {
      {"utf-8 declared", "<html><META charset=\"utf-8\">" + utf8Chinese,
       "<html><META charset=\"utf-8\">" + gbkChinese},
      {"http-equiv form",
       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">" + utf8Chinese,
       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">" + gbkChinese},
      {"gb2312 declared stays", "<meta charset=gb2312>" + gbkChinese, "<meta charset=gb2312>" + gbkChinese},
      {"declared after byte 1024 stays", padding + "<meta charset=utf-8>" + utf8Chinese,
       padding + "<meta charset=utf-8>" + utf8Chinese},
      {"unknown charset stays", "<meta charset=x-no-such-set>" + utf8Chinese,
       "<meta charset=x-no-such-set>" + utf8Chinese},
      {"json without declaration stays", "{\"t\":\"" + utf8Chinese + "\"}",
       "{\"t\":\"" + utf8Chinese + "\"}"},
      {"zero byte ends the text", std::string("ab\0cd", 5), "ab"},
  };
  for (const Case& c : cases) {
    RawHttpServer server(Answer(RawHttpServer::Response("200 OK", c.body)));
    WebRequestOptions options;
    WebResult result;
    EXPECT_EQ(WebRequest(server.Url("/"), options, result), c.text) << c.name;
    EXPECT_EQ(result.body, c.body) << c.name;
  }
  EXPECT_EQ(Utf8ToGbkText("{\"t\":\"" + utf8Chinese + "\"}"), "{\"t\":\"" + gbkChinese + "\"}");
  EXPECT_EQ(Utf8ToGbkText("a\xF0\x9F\x98\x80"
                          "b"),
            "a?b");  // no local form
}

TEST(WebRequest, FailuresGiveTheMessageOfTheStepThatFailed) {
  const Text kSendFailed = Gbk("711 发送请求失败!");
  const Text kNoResponse = Gbk("712 服务器未响应!");
  testing::RefusingPort refusing;
  const int closedPort = refusing.port();
  RawHttpServer silentClose([](const RawRequest&, RawConnection&) {});
  RawHttpServer silent([](const RawRequest&, RawConnection& c) { c.HoldUntilClientLeaves(); });
  RawHttpServer stalledBody([](const RawRequest&, RawConnection& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial");
    c.HoldUntilClientLeaves();
  });
  RawHttpServer brokenBody([](const RawRequest&, RawConnection& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial");
  });
  RawHttpServer redirectNowhere(Answer(RawHttpServer::Response(
      "302 Found", "", "Location: http://127.0.0.1:" + std::to_string(closedPort) + "/gone\r\n")));
  struct Case {
    const char* name;
    Text url;
    Text status;
    Text text;
    Text extraHeaders = {};
  };
  const Case cases[] = {
      {"no scheme", "127.0.0.1/x", Gbk("701 解析URL地址失败!"), ""},
      {"other scheme", "ftp://127.0.0.1/x", Gbk("701 解析URL地址失败!"), ""},
      {"bad port", "http://127.0.0.1:99999/x", Gbk("701 解析URL地址失败!"), ""},
      {"nobody listening", "http://127.0.0.1:" + std::to_string(closedPort) + "/", kSendFailed, ""},
      {"closed without answer", silentClose.Url("/"), kNoResponse, ""},
      {"no answer within the time-out", silent.Url("/"), kNoResponse, ""},
      {"body stalls: status line replaces 713", stalledBody.Url("/"), "200 OK", "partial"},
      {"body breaks: status line replaces 713", brokenBody.Url("/"), "200 OK", "partial"},
      {"redirect target unreachable", redirectNowhere.Url("/"), kSendFailed, ""},
      {"header line without a colon", brokenBody.Url("/"), Gbk("710 设置协议头失败!"), "", "no colon"},
      {"header line smuggling another", brokenBody.Url("/"), Gbk("710 设置协议头失败!"), "",
       "X-A: 1\nX-B: 2"},
  };
  for (const Case& c : cases) {
    WebRequestOptions options;
    options.timeoutSeconds = 1;
    options.extraHeaders = c.extraHeaders;
    options.normalizeHeaderNames = c.extraHeaders.empty();
    WebResult result;
    result.responseHeaders = "kept";
    EXPECT_EQ(WebRequest(c.url, options, result), c.text) << c.name;
    EXPECT_EQ(result.status, c.status) << c.name;
    if (!c.text.empty()) {
      EXPECT_EQ(result.body, c.text) << c.name;
    } else {
      EXPECT_EQ(result.responseHeaders, "kept") << c.name;
    }
  }
}

TEST(WebRequest, StopAbortsASlowTransfer) {
  std::promise<void> bodyStarted;
  RawHttpServer server([&bodyStarted](const RawRequest&, RawConnection& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\nfirst bytes");
    bodyStarted.set_value();
    c.HoldUntilClientLeaves();
  });
  Text text = "unset";
  WebResult result;
  Worker worker;
  worker.Start([&] {
    WebRequestOptions options;
    options.timeoutSeconds = 600;
    text = WebRequest(server.Url("/slow"), options, result);
  });
  bodyStarted.get_future().wait();
  worker.RequestStop();
  worker.Join();
  // Whether the client had taken in the header block when the stop came decides the phase.
  EXPECT_EQ(text, "");
  EXPECT_TRUE(result.status == Gbk("713 读取数据失败!") || result.status == Gbk("712 服务器未响应!"));
  EXPECT_EQ(result.body, "");
  EXPECT_EQ(result.responseHeaders, "");

  // A worker that is already stopped sends nothing at all.
  std::stop_source source;
  source.request_stop();
  StopScope scope(source.get_token());
  WebRequestOptions options;
  EXPECT_EQ(WebRequest(server.Url("/again"), options, result), "");
  EXPECT_EQ(result.status, Gbk("711 发送请求失败!"));
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST(WebRequest, ProxyGetsTheAbsoluteTargetAndItsCredentials) {
  RawHttpServer proxy(Answer(RawHttpServer::Response("200 OK", "via proxy")));
  WebRequestOptions options;
  options.proxy = "127.0.0.1:" + std::to_string(proxy.port());
  options.proxyUser = "pu";
  options.proxyPassword = "pp";
  options.completeHeaders = false;
  WebResult result;
  EXPECT_EQ(WebRequest("http://origin.invalid/page", options, result), "via proxy");
  ASSERT_EQ(proxy.requests().size(), 1u);
  const RawRequest request = proxy.requests()[0];
  EXPECT_EQ(request.requestLine, "GET http://origin.invalid/page HTTP/1.1");
  EXPECT_EQ(ChosenLines(request), Lines{"Proxy-Authorization: Basic cHU6cHA="});
}

TEST(ResponsiveWait, WaitsInTheUnitGiven) {
  std::vector<std::int64_t> waits;
  InstallGuiWaitHook([&waits](std::chrono::milliseconds duration) { waits.push_back(duration.count()); });
  ResponsiveWait(20);
  ResponsiveWait(5, 1);
  ResponsiveWait(2, 2);
  ResponsiveWait(1, 3);
  ResponsiveWait(3, 250);
  ResponsiveWait(0);
  ResponsiveWait(-4, 1);
  EXPECT_TRUE(ResponsiveWait(2147483647LL, 3));
  InstallGuiWaitHook(nullptr);
  ASSERT_EQ(waits.size(), 6u);
  EXPECT_EQ(waits[0], 20);
  EXPECT_EQ(waits[1], 5000);
  EXPECT_EQ(waits[2], 120000);
  EXPECT_EQ(waits[3], 3600000);
  EXPECT_EQ(waits[4], 750);
  EXPECT_GT(waits[5], 3600000LL * 24 * 365);
}

}  // namespace
}  // namespace pelvaro
