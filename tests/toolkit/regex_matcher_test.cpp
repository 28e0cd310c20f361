#include "toolkit/regex_matcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pelvaro {
namespace {

const Text kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

std::vector<Text> AllMatches(const RegexMatcher& re) {
  std::vector<Text> out;
  for (int i = 1; i <= re.matchCount(); ++i) out.push_back(re.matchText(i));
  return out;
}

TEST(RegexMatcher, FindsTheDeclaredCharsetOfAPage) {
  struct Case {
    const char* head;
    int count;
    const char* charset;
  };
  const Case cases[] = {
      {"<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\"></head>", 1, "gb2312"},
      {"<HEAD><META http-equiv=\"Content-Type\" content=\"text/html; CHARSET=GB2312\"></HEAD>", 1, "GB2312"},
      {"<head>\n<meta charset=\"utf-8\">\n<title>x</title>", 1, "utf-8"},
      {"<head><title>no declaration</title></head>", 0, ""},
      // "." stops at a line feed, so a tag broken over two lines is not read.
      {"<meta http-equiv=\"Content-Type\"\ncontent=\"text/html; charset=gbk\">", 0, ""},
  };
  for (const Case& c : cases) {
    RegexMatcher re;
    EXPECT_TRUE(re.match(kCharsetPattern, c.head)) << c.head;
    EXPECT_EQ(re.matchCount(), c.count) << c.head;
    EXPECT_EQ(re.submatchText(1, 1), c.charset) << c.head;
    EXPECT_EQ(re.submatchText(2, 1), "") << c.head;
  }
}

TEST(RegexMatcher, BadPatternsAndBadIndexesGiveEmptyResults) {
  RegexMatcher fresh;
  EXPECT_EQ(fresh.matchCount(), 0);
  EXPECT_EQ(fresh.matchText(1), "");
  EXPECT_EQ(fresh.pattern(), "");
  EXPECT_EQ(fresh.replace("x"), "");
  EXPECT_EQ(fresh.submatchCount(), 0);

  for (const char* bad : {"(a", "a)", "[a", "a{2,1}", "*a", "\\", "(?<=a"}) {
    RegexMatcher re;
    ASSERT_TRUE(re.match("(a)", "a"));
    EXPECT_FALSE(re.match(bad, "a(a)[a")) << bad;
    EXPECT_EQ(re.matchCount(), 0) << bad;
    EXPECT_EQ(re.submatchCount(), 0) << bad;
    EXPECT_EQ(re.matchText(1), "") << bad;
    EXPECT_EQ(re.replace("x"), "") << bad;
    EXPECT_EQ(re.pattern(), bad);
  }

  RegexMatcher re;
  ASSERT_TRUE(re.match("(\\w)(\\d)?", "a1 b"));
  ASSERT_EQ(re.matchCount(), 2);
  EXPECT_EQ(re.submatchCount(), 2);
  int position = 77;
  for (auto [m, g] : {std::pair{0, 1}, {3, 1}, {-1, 1}, {1, 0}, {1, 3}, {1, -1}}) {
    EXPECT_EQ(re.submatchText(m, g, &position), "") << m << "," << g;
  }
  EXPECT_EQ(re.matchText(0, &position), "");
  EXPECT_EQ(position, 77);
  // A group that did not take part is empty and sits at its match.
  EXPECT_EQ(re.submatchText(2, 2, &position), "");
  EXPECT_EQ(position, 3);
}

TEST(RegexMatcher, QuotePlaceholderStandsForADoubleQuote) {
  const Text pattern = Gbk("href=#引号(.+?)#引号");
  const Text subject = "<a href=\"a\">x</a><a href=\"bc\">y</a>";
  RegexMatcher re;
  ASSERT_TRUE(re.match(pattern, subject, false, true, true, true));
  EXPECT_EQ(re.pattern(), "href=\"(.+?)\"");
  EXPECT_EQ(AllMatches(re), (std::vector<Text>{"href=\"a\"", "href=\"bc\""}));
  EXPECT_EQ(re.submatchText(1, 1), "a");
  EXPECT_EQ(re.submatchText(2, 1), "bc");

  ASSERT_TRUE(re.match(pattern, subject));
  EXPECT_EQ(re.matchCount(), 0);
  ASSERT_TRUE(re.match(pattern, Gbk("href=#引号z#引号")));
  EXPECT_EQ(re.submatchText(1, 1), "z");
}

TEST(RegexMatcher, GbkSubjectsGiveGbkTextsAndByteOffsets) {
  struct Case {
    const char* pattern;  // UTF-8, converted with Gbk
    const char* subject;  // UTF-8, converted with Gbk
    std::vector<std::pair<const char*, int>> matches;
  };
  const Case cases[] = {
      {"[a-z]+", "中文abc中文def", {{"abc", 4}, {"def", 11}}},
      {"\\w+", "中文ab_1，é９x", {{"ab_1", 4}, {"x", 14}}},
      {"文.", "中文字文\n文", {{"文字", 2}}},
      {"^.$", "中\n国\nab", {{"中", 0}, {"国", 3}}},
      {"[中国]+", "和中国人", {{"中国", 2}}},
      {"ａ", "Ａａ", {{"Ａ", 0}, {"ａ", 2}}},
      {"\\u4e2d", "一中", {{"中", 2}}},
      // Characters whose second byte is "\", "[" or "|" stay whole characters.
      {"癨+|皘", "a癨癨皘b", {{"癨癨", 1}, {"皘", 5}}},
      {"[癧]", "x癧[", {{"癧", 1}}},
  };
  for (const Case& c : cases) {
    RegexMatcher re;
    ASSERT_TRUE(re.match(Gbk(c.pattern), Gbk(c.subject))) << c.pattern;
    ASSERT_EQ(re.matchCount(), static_cast<int>(c.matches.size())) << c.pattern;
    for (std::size_t i = 0; i < c.matches.size(); ++i) {
      int position = -1;
      EXPECT_EQ(re.matchText(static_cast<int>(i) + 1, &position), Gbk(c.matches[i].first)) << c.pattern;
      EXPECT_EQ(position, c.matches[i].second) << c.pattern << " match " << i + 1;
    }
  }

  // A group's position is where that group matched, not the first equal text in the match.
  RegexMatcher re;
  ASSERT_TRUE(re.match("(a)b(a)", Gbk("中aba")));
  int position = -1;
  EXPECT_EQ(re.submatchText(1, 2, &position), "a");
  EXPECT_EQ(position, 4);

  // Bytes that are no GBK character match as one character each and come back unchanged.
  const Text broken =
      "\xFF"
      "ab\x81";
  ASSERT_TRUE(re.match(".", broken));
  EXPECT_EQ(AllMatches(re), (std::vector<Text>{"\xFF", "a", "b", "\x81"}));
  ASSERT_TRUE(re.match("b", broken));
  EXPECT_EQ(re.matchText(1, &position), "b");
  EXPECT_EQ(position, 2);
}

TEST(RegexMatcher, OptionsForCaseLinesAndGlobal) {
  struct Case {
    const char* pattern;
    const char* subject;
    bool caseSensitive, multiLine, global;
    std::vector<Text> matches;
  };
  const Case cases[] = {
      {"ab", "AB ab", false, true, true, {"AB", "ab"}},
      {"ab", "AB ab", true, true, true, {"ab"}},
      {"ab", "AB ab", false, true, false, {"AB"}},
      {"^\\w", "a\nb\r\nc", false, true, true, {"a", "b", "c"}},
      {"^\\w", "a\nb", false, false, true, {"a"}},
      {"\\w$", "a\nb", false, true, true, {"a", "b"}},
      {"\\w$", "a\nb\n", false, false, true, {}},
      {"a.c", "abc a\nc a\rc", false, true, true, {"abc", "a\rc"}},
      // CR alone and CR LF break lines as LF does; CR LF holds two breaks.
      {"^\\w", "a\rb\r\nc", false, true, true, {"a", "b", "c"}},
      {"\\w$", "a\rb\r\nc", false, true, true, {"a", "b", "c"}},
      {"^$", "a\r\nb", false, true, true, {""}},
      {"^\\w", "a\rb", false, false, true, {"a"}},
      {"[$^]", "$^", false, true, true, {"$", "^"}},
  };
  for (const Case& c : cases) {
    RegexMatcher re;
    ASSERT_TRUE(re.match(c.pattern, c.subject, c.caseSensitive, c.multiLine, c.global)) << c.pattern;
    EXPECT_EQ(AllMatches(re), c.matches) << c.pattern << " on " << c.subject;
  }
}

TEST(RegexMatcher, ReadsTheDialectNotPcreExtensions) {
  struct Case {
    const char* pattern;
    Text subject;
    Text first;  // the first match, "" for none
  };
  const Case cases[] = {
      {"\\v", Text("\n\x0b", 2), "\x0b"},
      {"\\A\\Q\\K\\h\\p{L}", "AQKhp{L}", "AQKhp{L}"},
      {"[[:alpha:]]+", "a]", "a]"},
      {"[[:alpha:]]", "a", ""},
      {"[\\w-.]+", "a-.b!", "a-.b"},
      {"[.-\\d]+", "x.-5", ".-5"},
      {"\\x41\\x4", "Ax4", "Ax4"},
      {"\\u004", "u004", "u004"},
      {"\\1(a)", "aa", "a"},
      {"(a)|b\\1", "b", "b"},
      {"\\1b",
       Text("\x01"
            "b",
            2),
       Text("\x01"
            "b",
            2)},
      {"\\8", "8", "8"},
      {"(a)\\12", "a\n", "a\n"},
      {"[]", "a]", ""},
      {"[^]", "\n", "\n"},
      {"[]a]", "a]", ""},
      {"\\cJ", "\n", "\n"},
      {"\\c1", "\\c1", "\\c1"},
      {"[\\c1]", "\x11", "\x11"},
      {"\\uD800|x", "x", "x"},
      {"[\\b]", "\b", "\b"},
      {"a\\Bb", "ab", "ab"},
      {"\\s+", "a \t\r\nb", " \t\r\n"},
  };
  for (const Case& c : cases) {
    RegexMatcher re;
    ASSERT_TRUE(re.match(c.pattern, c.subject)) << c.pattern;
    EXPECT_EQ(re.matchText(1), c.first) << c.pattern;
  }
}

TEST(RegexMatcher, ReplaceSubstitutesGroupsAndSpecialForms) {
  struct Case {
    const char* pattern;
    const char* subject;
    const char* replacement;
    bool global;
    const char* expected;
  };
  const Case cases[] = {
      {"(\\w+)=(\\w+)", "a=1;b=2", "$2=$1", true, "1=a;2=b"},
      {"(\\w+)=(\\w+)", "a=1;b=2", "$2=$1", false, "1=a;b=2"},
      {"=", "a=1", "[$$][$&][$`][$']", true, "a[$][=][a][1]1"},
      {"(a)", "a", "$0$10$01$2$x$", true, "$0a0a$2$x$"},
      {"(a)(b)?", "a", "[$2]", true, "[]"},
      {"x*", "abc", "-", true, "-a-b-c-"},
      {"x*", "abc", "-", false, "-abc"},
      {"z", "abc", "-", true, "abc"},
      {"b", "中b文", "$&$&", true, "中bb文"},
      // "$" before a character whose second byte is "`" is a plain "$".
      {"b", "abc", "$癭", true, "a$癭c"},
  };
  for (const Case& c : cases) {
    RegexMatcher re;
    ASSERT_TRUE(re.match(c.pattern, Gbk(c.subject), false, true, c.global)) << c.pattern;
    EXPECT_EQ(re.replace(Gbk(c.replacement)), Gbk(c.expected)) << c.pattern << " / " << c.replacement;
  }
  // Groups with more than one digit.
  RegexMatcher re;
  ASSERT_TRUE(re.match("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)", "abcdefghijk"));
  EXPECT_EQ(re.replace("$11$10$1"), "kja");
}

TEST(RegexMatcher, EmptyMatchesAdvanceByWholeCharacters) {
  struct Case {
    const char* pattern;
    const char* subject;
    std::vector<int> positions;
  };
  const Case cases[] = {
      {"x*", "中a", {0, 2, 3}},    {"", "", {0}},
      {"(?:)", "ab", {0, 1, 2}},   {"\\b", "ab 中", {0, 2}},
      {"$", "a\n中\n", {1, 4, 5}}, {"b*", "abc", {0, 1, 2, 3}},
  };
  for (const Case& c : cases) {
    RegexMatcher re;
    ASSERT_TRUE(re.match(c.pattern, Gbk(c.subject))) << c.pattern;
    std::vector<int> positions;
    for (int i = 1; i <= re.matchCount(); ++i) {
      int position = -1;
      re.matchText(i, &position);
      positions.push_back(position);
    }
    EXPECT_EQ(positions, c.positions) << c.pattern << " on " << c.subject;
  }
}

TEST(RegexMatcher, HostileInputEndsWithAResult) {
  struct Case {
    const char* pattern;
    Text subject;
    bool ran;
    int count;
  };
  std::string segments;
  for (int i = 0; i < 200; ++i) segments += std::string(18, 'a') + "!";
  const Case cases[] = {
      {"(a+)+$", std::string(5000, 'a') + "b", false, 0},
      {"(a|aa)+$", std::string(5000, 'a') + "b", false, 0},
      {"((a*)*)*[bc]", std::string(64, 'a'), false, 0},
      // Each start position is cheap enough alone; all of them together are not.
      {"(a+)+[b!]$", segments, false, 0},
      {"(a+)+$", std::string(5000, 'a'), true, 1},
  };
  for (const Case& c : cases) {
    RegexMatcher re;
    EXPECT_EQ(re.match(c.pattern, c.subject), c.ran) << c.pattern;
    EXPECT_EQ(re.matchCount(), c.count) << c.pattern;
    EXPECT_EQ(re.replace("x"), c.ran ? "x" : "") << c.pattern;
  }

  // The number of kept matches is bounded: a subject that would need more fails whole.
  std::string hundredGroups;
  for (int i = 0; i < 100; ++i) hundredGroups += "()";
  RegexMatcher re;
  EXPECT_TRUE(re.match(hundredGroups, std::string(1000, 'a')));
  EXPECT_EQ(re.matchCount(), 1001);
  EXPECT_FALSE(re.match(hundredGroups, std::string(30000, 'a')));
  EXPECT_EQ(re.matchCount(), 0);
}

TEST(RegexMatcher, CopiesShareMatchesAndKeepTheirSubject) {
  RegexMatcher re;
  ASSERT_TRUE(re.match("(\\d)", "a1b2"));
  RegexMatcher copy(re);
  RegexMatcher assigned;
  assigned = re;
  ASSERT_TRUE(re.match("x", "y"));
  for (const RegexMatcher* m : {&copy, &assigned}) {
    EXPECT_EQ(m->matchCount(), 2);
    EXPECT_EQ(m->submatchText(2, 1), "2");
    EXPECT_EQ(m->replace("<$1>"), "a<1>b<2>");
    EXPECT_EQ(m->pattern(), "(\\d)");
  }
  EXPECT_EQ(re.matchCount(), 0);
  EXPECT_EQ(re.replace("z"), "y");
}

}  // namespace
}  // namespace pelvaro
