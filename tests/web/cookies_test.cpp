#include "web/cookies.h"

#include <gtest/gtest.h>

namespace pelvaro {
namespace {

TEST(MergeCookies, FreshFirstThenUnsetOldDeletedGoneRepeatsDropped) {
  struct Case {
    Text old, fresh, merged;
  };
  const Case cases[] = {
      {"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1"},
      {"sid=x; u=1", "sid=deleted", "u=1"},
      {"a=1; b=2;", "", "a=1; b=2"},
      {" a=1 ", "", "a=1"},
      {"a=1; a=2", "", "a=1"},
      {"", "a=1; a=2", "a=1; a=2"},
      {"", "a=1; a=1", "a=1"},
      {"A=1", "a=2", "a=2; A=1"},
      {"", "", ""},
      {"sid=deleted", "", ""},
      {Gbk("　k =1"), "k=2", "k=2"},       // names are trimmed of full-width blanks too
      {"flag; x=1", "flag", "flag; x=1"},  // an item without "=" is its own name
      {"a=1; ; b=2", "", "a=1; ; b=2"},    // an empty item between separators survives
  };
  for (const Case& c : cases) {
    Text old = c.old;
    Text fresh = c.fresh;
    EXPECT_EQ(MergeCookies(old, fresh), c.merged) << "old «" << c.old << "» fresh «" << c.fresh << "»";
    EXPECT_EQ(old, c.merged);
  }
}

TEST(CollectSetCookies, KeepsNameValueOfExactSetCookieLinesOnly) {
  struct Case {
    Text entry, block, collected;
  };
  const Case cases[] = {
      {"", "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n\r\n", "a=1; b=2"},
      {"", "HTTP/1.1 200 OK\r\nset-cookie: a=1\r\n\r\n", ""},
      {"", "HTTP/1.1 200 OK\r\nSet-Cookie:a=1\r\n\r\n", ""},  // no ": " after the name
      {"", "HTTP/1.1 200 OK\r\nSet-Cookie:  s=v  ; HttpOnly\r\n\r\n", "s=v"},
      {"x=1", "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\n\r\n", "x=1; a=1"},
      {"x=1; ", "HTTP/1.1 200 OK\r\n\r\n", "x=1"},
  };
  for (const Case& c : cases) {
    Text cookies = c.entry;
    CollectSetCookies(c.block, cookies);
    EXPECT_EQ(cookies, c.collected) << c.block;
  }
}

}  // namespace
}  // namespace pelvaro
