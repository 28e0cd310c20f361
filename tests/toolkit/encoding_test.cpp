#include "toolkit/encoding.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <regex>

namespace pelvaro {
namespace {

TEST(Encoding, PercentEncode) {
  EXPECT_EQ(PercentEncode("a b"), "%61%20%62");
  EXPECT_EQ(PercentEncode("a-b.c/d", true), "a-b.c%2Fd");
  EXPECT_EQ(PercentEncode("_~", true), "%5F%7E");
  EXPECT_EQ(PercentEncode(Gbk("娱")), "%D3%E9");
  EXPECT_EQ(PercentEncode(Gbk("娱"), false, true), "%E5%A8%B1");
  EXPECT_EQ(PercentEncode(""), "");
  EXPECT_EQ(PercentEncode("\x01"), "%01");
}

TEST(Encoding, Md5HexForms) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("abc", true), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(Md5Hex("abc", false, true), "3cd24fb0d6963f7d");
  EXPECT_EQ(Md5HexOfText(Gbk("中"), true), Md5Hex("中"));
}

TEST(Encoding, SignLineShapeAndDigest) {
  // Known answers, worked out once with md5sum over the salt and the timestamp.
  EXPECT_EQ(SignLineFor("1700000000"), "sign:777b90aeb0a65a9bd4452e5fa1a49c8a@1700000000");
  EXPECT_EQ(SignLineFor("1765353600"), "sign:76c4e9005945348fa5ca5b46f2fbd48b@1765353600");
  std::string line = SignLine();
  EXPECT_TRUE(std::regex_match(line, std::regex("sign:[0-9a-f]{32}@[0-9]{10}"))) << line;
  EXPECT_EQ(line, SignLineFor(line.substr(line.size() - 10)));
}

TEST(Encoding, TimestampCountsFromLocalEightOClock) {
  EXPECT_EQ(UnixTimestamp(true).size(), 10u);
  EXPECT_GE(UnixTimestamp(false).size(), 13u);
  // In a zone eight hours ahead of UTC the value is the real Unix time; in UTC it is
  // eight hours less.
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "UTC", 1);
  tzset();
  long long utc = std::stoll(UnixTimestamp(true));
  setenv("TZ", "CST-8", 1);
  tzset();
  long long east8 = std::stoll(UnixTimestamp(true));
  if (old) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
  tzset();
  long long now = static_cast<long long>(std::time(nullptr));
  EXPECT_NEAR(east8, now, 2);
  EXPECT_NEAR(utc, now - 8 * 3600, 2);
}

TEST(Encoding, Base64Padding) {
  EXPECT_EQ(Base64Encode(""), "");
  EXPECT_EQ(Base64Encode("a"), "YQ==");
  EXPECT_EQ(Base64Encode("ab"), "YWI=");
  EXPECT_EQ(Base64Encode("abc"), "YWJj");
  EXPECT_EQ(Base64Encode("user:pass"), "dXNlcjpwYXNz");
  EXPECT_EQ(Base64Encode(std::string("\xFF\x00\x10", 3)), "/wAQ");
}

}  // namespace
}  // namespace pelvaro
