#include "web/object_request.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "web/raw_http_server.h"

namespace pelvaro {
namespace {

using testing::RawConnection;
using testing::RawHttpServer;
using testing::RawRequest;
using Lines = std::vector<std::string>;

const std::string kUserAgent = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

Lines WithoutHost(const RawRequest& request) {
  Lines lines;
  for (const std::string& line : request.headerLines) {
    if (!line.starts_with("Host: ") && !line.starts_with("Content-Length: ")) lines.push_back(line);
  }
  return lines;
}

TEST(ObjectWebRequest, SendsItsDefaultsAndReturnsTheBodyBytes) {
  const std::string audio("ID3\0\1\2\xFF", 7);
  RawHttpServer server([&audio](const RawRequest& request, RawConnection& c) {
    c.Send(RawHttpServer::Response("200 OK", request.Path() == "/post" ? request.body : audio,
                                   "Set-Cookie: b=2; path=/\r\n"));
  });
  struct Case {
    const char* name;
    const char* path;
    int method;
    Text extra;
    Lines lines;
  };
  const std::string url = server.Url("/a.mp3");
  const Case cases[] = {
      {"url only", "/a.mp3", 0, "", {"Accept: */*", "Referer: " + url, "Accept-Language: zh-cn", kUserAgent}},
      {"caller's referer",
       "/a.mp3",
       12,
       "referer:  x ",
       {"Referer: x", "Accept: */*", "Accept-Language: zh-cn", kUserAgent}},
      {"post",
       "/post",
       1,
       "Connection: keep-alive\r\nx-a: 1",
       {"X-A: 1", "Accept: */*", "Referer: " + server.Url("/post"), "Accept-Language: zh-cn", kUserAgent,
        "Content-Type: application/x-www-form-urlencoded"}},
      {"single line block", "/a.mp3", 0, "accept: text/plain", {"Accept: text/plain"}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    ObjectRequestOptions options;
    options.method = c.method;
    options.extraHeaders = c.extra;
    options.completeHeaders = i != 3;
    options.postText = "k=v";
    ObjectRequestResult result;
    result.receivedCookies = "stale";
    std::string bytes = ObjectWebRequest(server.Url(c.path), options, result);
    EXPECT_EQ(bytes, c.method == 1 ? "k=v" : audio) << c.name;
    EXPECT_EQ(result.statusCode, 200) << c.name;
    EXPECT_EQ(result.receivedCookies, "b=2") << c.name;
    EXPECT_TRUE(result.responseHeaders.starts_with("Set-Cookie: b=2; path=/\r\n")) << c.name;
    EXPECT_TRUE(result.responseHeaders.ends_with("\r\n\r\n")) << c.name;
    ASSERT_EQ(server.requests().size(), i + 1);
    const RawRequest request = server.requests()[i];
    EXPECT_EQ(request.requestLine, std::string(c.method == 1 ? "POST " : "GET ") + c.path + " HTTP/1.1")
        << c.name;
    EXPECT_EQ(WithoutHost(request), c.lines) << c.name;
  }
}

TEST(ObjectWebRequest, CookiesAreClearedSentAndMerged) {
  RawHttpServer server([](const RawRequest& request, RawConnection& c) {
    c.Send(RawHttpServer::Response("200 OK", request.Header("Cookie"),
                                   request.Path() == "/set" ? "Set-Cookie: a=2\r\n" : ""));
  });
  ObjectRequestOptions options;
  options.completeHeaders = false;
  options.cookies = "Cookie: a=1; z=9";
  ObjectRequestResult result;
  EXPECT_EQ(ObjectWebRequest(server.Url("/set"), options, result), "a=1; z=9");
  EXPECT_EQ(result.receivedCookies, "a=2; z=9");
  EXPECT_EQ(*options.cookies, "a=2; z=9");

  options.mergeCookies = false;
  result.receivedCookies = "left over";
  EXPECT_EQ(ObjectWebRequest(server.Url("/none"), options, result), "a=2; z=9");
  EXPECT_EQ(result.receivedCookies, "");
  EXPECT_EQ(*options.cookies, "a=2; z=9");
}

TEST(ObjectWebRequest, TimeoutsRedirectsAndAReusedObject) {
  RawHttpServer server([](const RawRequest& request, RawConnection& c) {
    if (request.Path() == "/silent") return c.HoldUntilClientLeaves();
    if (request.Path() == "/from") {
      c.Send(RawHttpServer::Response("302 Found", "moved", "Location: /to\r\nSet-Cookie: s=1\r\n"));
      return;
    }
    c.Send(RawHttpServer::Response("200 OK", "arrived " + request.Header("Cookie")));
  });
  RequestObject object;
  object.SetTimeouts(std::chrono::milliseconds(1000), std::chrono::milliseconds(1000));
  ObjectRequestOptions options;
  options.requestObject = &object;
  options.timeoutSeconds = -1;
  ObjectRequestResult result;
  result.statusCode = 7;
  EXPECT_EQ(ObjectWebRequest(server.Url("/silent"), options, result), "");
  EXPECT_EQ(result.statusCode, 0);
  EXPECT_EQ(object.idleTimeout(), std::chrono::milliseconds(1000));

  options.noRedirect = true;
  options.timeoutSeconds = 5;
  EXPECT_EQ(ObjectWebRequest(server.Url("/from"), options, result), "moved");
  EXPECT_EQ(result.statusCode, 302);
  EXPECT_EQ(object.connectTimeout(), std::chrono::milliseconds(5000));

  options.noRedirect = false;
  options.timeoutSeconds = 0;
  // The object carries the cookie the redirect set, like a session.
  EXPECT_EQ(ObjectWebRequest(server.Url("/from"), options, result), "arrived s=1");
  EXPECT_EQ(result.statusCode, 200);
  EXPECT_EQ(object.idleTimeout(), std::chrono::milliseconds(15000));

  EXPECT_EQ(ObjectWebRequest("not a url"), "");
}

TEST(ObjectWebRequest, ProxyCredentialsGoToTheProxyOnce) {
  RawHttpServer proxy(
      [](const RawRequest&, RawConnection& c) { c.Send(RawHttpServer::Response("200 OK", "p")); });
  ObjectRequestOptions options;
  options.proxy = "127.0.0.1:" + std::to_string(proxy.port());
  options.proxyUser = "pu";
  options.proxyPassword = "pp";
  options.completeHeaders = false;
  ObjectRequestResult result;
  EXPECT_EQ(ObjectWebRequest("http://origin.invalid/x", options, result), "p");
  ASSERT_EQ(proxy.requests().size(), 1u);
  EXPECT_EQ(proxy.requests()[0].requestLine, "GET http://origin.invalid/x HTTP/1.1");
  EXPECT_EQ(WithoutHost(proxy.requests()[0]), Lines{"Proxy-Authorization: Basic cHU6cHA="});

  // A tunnel for HTTPS: the credentials travel in the CONNECT request, once.
  RawHttpServer refusingProxy(
      [](const RawRequest&, RawConnection& c) { c.Send(RawHttpServer::Response("403 Forbidden", "")); });
  options.proxy = "127.0.0.1:" + std::to_string(refusingProxy.port());
  EXPECT_EQ(ObjectWebRequest("https://origin.invalid/x", options, result), "");
  ASSERT_EQ(refusingProxy.requests().size(), 1u);
  const RawRequest connect = refusingProxy.requests()[0];
  EXPECT_EQ(connect.requestLine, "CONNECT origin.invalid:443 HTTP/1.1");
  EXPECT_EQ(std::count(connect.headerLines.begin(), connect.headerLines.end(),
                       "Proxy-Authorization: Basic cHU6cHA="),
            1);
}

}  // namespace
}  // namespace pelvaro
