#include "web/header_block.h"

#include <gtest/gtest.h>

#include "web/web_request.h"

namespace pelvaro {
namespace {

TEST(NormalizeHeaderNames, CapitalisesEachPieceAndDropsLinesWithoutColon) {
  EXPECT_EQ(NormalizeHeaderNames("content-type: x\r\nx-requested-with: y"),
            "Content-Type: x\r\nX-Requested-With: y");
  EXPECT_EQ(NormalizeHeaderNames("\r\nnot a header\r\nuser-agent: a:b\r\n"), "User-Agent: a:b");
  EXPECT_EQ(NormalizeHeaderNames("x--1a-éb: v"), "X--1a-éb: v");
  EXPECT_EQ(NormalizeHeaderNames(""), "");
}

TEST(BuildRequestHeaderBlock, KeepAliveRuleAndCookieLine) {
  struct Case {
    const char* name;
    Text extra;
    Text cookies;
    bool complete;
    bool normalize;
    Text block;
  };
  const Case cases[] = {
      {"keep-alive first goes", "Connection: keep-alive\r\nX-A: 1", "", false, false, "X-A: 1\r\n"},
      {"keep-alive as the last line stays", "X-A: 1\r\nConnection: keep-alive", "", false, true,
       "X-A: 1\r\nConnection: keep-alive"},
      {"other connection values stay", "Connection: close", "", false, true, "Connection: close"},
      {"cookie appended", "X-A: 1", "a=1", false, true, "X-A: 1\r\nCookie: a=1\r\n"},
      {"cookie text with its own name", "X-A: 1", "cookie: a=1", false, true, "X-A: 1\r\ncookie: a=1\r\n"},
      {"caller's cookie line wins", "cookie: b=2", "a=1", false, true, "Cookie: b=2"},
      {"empty line before cookie unnormalised", "X-A: 1", "a=1", false, false,
       "X-A: 1\r\n\r\nCookie: a=1\r\n"},
  };
  for (const Case& c : cases) {
    WebRequestOptions options;
    options.extraHeaders = c.extra;
    options.cookies = c.cookies;
    options.completeHeaders = c.complete;
    options.normalizeHeaderNames = c.normalize;
    EXPECT_EQ(BuildRequestHeaderBlock(options), c.block) << c.name;
  }
}

}  // namespace
}  // namespace pelvaro
