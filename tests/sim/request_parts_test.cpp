#include "sim/request_parts.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "toolkit/encoding.h"

namespace pelvaro::sim {
namespace {

TEST(RequestParts, QueryValuesDecodeToRawBytes) {
  // The collection client encodes every GBK byte; the service must see the GBK category again.
  auto query = ParseQuery("/pelvaro?leimu=" + PercentEncode(Gbk("所有类目")) + "&id=V_ab%2Fc&del=");
  EXPECT_EQ(QueryValue(query, "leimu"), Gbk("所有类目"));
  EXPECT_EQ(QueryValue(query, "id"), "V_ab/c");
  EXPECT_EQ(QueryValue(query, "del"), "");
  EXPECT_FALSE(QueryValue(query, "missing").has_value());
  EXPECT_EQ(QueryValue(ParseQuery("/p?leimu=%61%6C%6C"), "leimu"), "all");
  EXPECT_EQ(QueryValue(ParseQuery("/p?leimu=%D3%E9%C0%D6"), "leimu"), Gbk("娱乐"));
  EXPECT_EQ(QueryValue(ParseQuery("/p?a=1&a=2"), "a"), "1");
  EXPECT_TRUE(ParseQuery("/p").empty());
}

TEST(RequestParts, PercentDecodeKeepsMalformedEscapes) {
  struct Case {
    const char* in;
    std::string out;
  } cases[] = {
      {"%41%42", "AB"}, {"a+b", "a b"},   {"%zz", "%zz"},
      {"%4", "%4"},     {"100%", "100%"}, {"%00x", std::string("\0x", 2)},
  };
  for (const auto& c : cases) EXPECT_EQ(PercentDecode(c.in), c.out) << c.in;
}

TEST(RequestParts, PathEncodingKeepsOneSegment) {
  EXPECT_EQ(PercentEncodePath("V_ab12"), "V_ab12");
  EXPECT_EQ(PercentEncodePath("../a"), "%2E%2E%2Fa");
  EXPECT_EQ(PercentDecode(PercentEncodePath("a\\b:*?\"<>|\x01")), "a\\b:*?\"<>|\x01");
}

TEST(RequestParts, SignLineChecksDigestOfSaltAndTimestamp) {
  std::string good = SignLineFor("1700000000").substr(5);
  EXPECT_TRUE(SignValueValid(good));
  EXPECT_TRUE(SignValueValid(SignLine().substr(5)));
  EXPECT_TRUE(SignValueValid(" " + good));
  std::string wrong_digest = good;
  wrong_digest[0] = wrong_digest[0] == 'a' ? 'b' : 'a';
  const std::string bad[] = {
      wrong_digest,
      good.substr(0, good.find('@')) + "@1700000001",  // digest of another time
      good.substr(0, good.find('@')),                  // no timestamp
      "@1700000000",
      "",
      good.substr(0, good.find('@') + 1) + "17000000x0",
  };
  for (const auto& value : bad) EXPECT_FALSE(SignValueValid(value)) << value;
}

TEST(RequestParts, ByteRanges) {
  struct Case {
    const char* header;
    std::uint64_t size;
    RangeKind kind;
    std::uint64_t first, length;
  } cases[] = {
      {"bytes=0-9", 100, RangeKind::Satisfiable, 0, 10},
      {"bytes=90-", 100, RangeKind::Satisfiable, 90, 10},
      {"bytes=90-500", 100, RangeKind::Satisfiable, 90, 10},
      {"bytes=99-99", 100, RangeKind::Satisfiable, 99, 1},
      {"bytes=-10", 100, RangeKind::Satisfiable, 90, 10},
      {"bytes=-500", 100, RangeKind::Satisfiable, 0, 100},
      {"Bytes=5-6", 100, RangeKind::Satisfiable, 5, 2},
      {"bytes=100-", 100, RangeKind::Unsatisfiable, 0, 0},
      {"bytes=100-200", 100, RangeKind::Unsatisfiable, 0, 0},
      {"bytes=-0", 100, RangeKind::Unsatisfiable, 0, 0},
      {"", 100, RangeKind::None, 0, 0},
      {"items=0-1", 100, RangeKind::None, 0, 0},
      {"bytes=0-1,5-6", 100, RangeKind::None, 0, 0},
      {"bytes=9-2", 100, RangeKind::None, 0, 0},
      {"bytes=x-2", 100, RangeKind::None, 0, 0},
      {"bytes=4294967296-", 8589934592ull, RangeKind::Satisfiable, 4294967296ull, 4294967296ull},
  };
  for (const auto& c : cases) {
    ByteRange range;
    EXPECT_EQ(ParseRange(c.header, c.size, range), c.kind) << c.header;
    if (c.kind == RangeKind::Satisfiable) {
      EXPECT_EQ(range.first, c.first) << c.header;
      EXPECT_EQ(range.length, c.length) << c.header;
    }
  }
}

}  // namespace
}  // namespace pelvaro::sim
