#include "platform/text.h"

#include <gtest/gtest.h>

namespace pelvaro {
namespace {

TEST(Text, ConvertsBetweenGbkUtf8AndUtf16) {
  Text gbk = Gbk("采集abc");
  EXPECT_EQ(gbk, "\xB2\xC9\xBC\xAF" "abc");
  EXPECT_EQ(GbkToUtf8(gbk), "采集abc");
  EXPECT_EQ(GbkToUtf16(gbk), u"采集abc");
  EXPECT_EQ(Utf16ToGbk(u"采集abc"), gbk);
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("采集")), "采集");
  EXPECT_EQ(Gbk(""), "");
}

TEST(Text, CharactersWithoutGbkFormBecomeQuestionMarks) {
  EXPECT_EQ(Gbk("a😀b"), "a?b");
  EXPECT_EQ(Utf16ToGbk(u"x\U0001F600y"), "x?y");
  // A broken UTF-8 sequence is replaced, and the rest still converts.
  EXPECT_EQ(Utf8ToGbk("a\xE9z采"), "a?z" + Gbk("采"));
}

TEST(Text, LenientIntegerReading) {
  struct Case {
    std::string input;
    std::int64_t expected;
  };
  const Case cases[] = {
      {"300", 300},
      {"  42abc", 42},
      {"-7", -7},
      {"+8", 8},
      {"", 0},
      {"abc", 0},
      {"- 5", 0},
      {"1.5", 1},
      {Gbk("１２３"), 123},    // full-width digits
      {Gbk("　－４５"), -45},  // full-width space and sign
      {"99999999999999999999999", INT64_MAX},
      {"-99999999999999999999999", INT64_MIN},
      // Past the limit by one more digit: saturates, never wraps around.
      {"20000000000000000000", INT64_MAX},
      {"-20000000000000000000", INT64_MIN},
      {"9223372036854775807", INT64_MAX},
      {"9223372036854775808", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadLenientInt(c.input), c.expected) << c.input;
}

TEST(Text, BlanksAndPrefixesRespectDoubleByteCharacters) {
  EXPECT_EQ(RemoveBlanks(Gbk(" 标　题 a ")), Gbk("标题a"));
  EXPECT_EQ(TrimBlanks(Gbk("　 x y　 ")), "x y");
  // "啊" is B0 A1: its trail byte must not pair with a following A1 into a full-width blank.
  Text tricky = Gbk("啊") + "\xA1\xA1";
  EXPECT_EQ(TrimBlanks(tricky), Gbk("啊"));
  EXPECT_EQ(GbkPrefix(Gbk("采集"), 3), Gbk("采"));
  EXPECT_EQ(GbkPrefix(Gbk("采集"), 4), Gbk("采集"));
  EXPECT_EQ(FoldFullWidth(Gbk("Ａｚ０！")), "Az0!");
}

}  // namespace
}  // namespace pelvaro
