#include "toolkit/json_document.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "toolkit/js_number_text.h"

namespace pelvaro {
namespace {

JsonDocument Loaded(const Text& text) {
  JsonDocument document;
  EXPECT_TRUE(document.parse(text)) << text;
  return document;
}

const char* const kAnswer =
    R"({"status":1,"recommend_video":[{"docid":"x1","duration":35,"video_urls":[{"url":"http://v/1.mp4","size":2048}]}]})";

TEST(JsonDocument, ReadsAnAnswerTheWayTheCollectorDoes) {
  JsonDocument document;
  ASSERT_TRUE(document.parse(kAnswer));
  EXPECT_EQ(document.countAt("recommend_video"), 1);
  EXPECT_EQ(document.textAt("recommend_video[0].docid"), "x1");
  EXPECT_EQ(document.textAt("recommend_video[0].duration"), "35");
  EXPECT_EQ(document.textAt("recommend_video[0].video_urls[0].url"), "http://v/1.mp4");
  EXPECT_EQ(document.textAt("recommend_video[0].video_urls[0].size"), "2048");
  EXPECT_EQ(document.textAt("recommend_video[5].docid"), "");
  EXPECT_EQ(document.textAt("recommend_video[0].video_urls[3].url"), "");
  EXPECT_EQ(document.countAt("recommend_video[0]"), 0);
  EXPECT_EQ(document.countAt("missing"), 0);
  EXPECT_EQ(document.countAt("missing.deeper[2]"), 0);
}

TEST(JsonDocument, FailedLoadsLeaveNoEntries) {
  for (const char* text : {"<html><body>502 Bad Gateway</body></html>", "", "   ", "null", "undefined",
                           "{\"recommend_video\":[{\"docid\":\"x1\"", "/* open comment", "{a:1} junk"}) {
    JsonDocument document;
    EXPECT_FALSE(document.parse(text)) << text;
    EXPECT_EQ(document.countAt("recommend_video"), 0) << text;
    EXPECT_EQ(document.textAt("recommend_video[0].docid"), "") << text;
    EXPECT_EQ(document.toJson(), "null") << text;
  }
}

TEST(JsonDocument, EvaluatingLoadFollowsScriptRules) {
  struct Case {
    const char* text;
    bool loads;
    const char* json;
  };
  const Case cases[] = {
      {R"({"a":1})", true, R"({"a":1})"},
      {"[1,2]", true, "[1,2]"},
      {"42", true, "42"},
      {"false", true, "false"},
      // A string is evaluated once more as a program.
      {R"("[1,\"2\"]")", true, R"([1,"2"])"},
      {R"("\"abc\"")", true, R"("abc")"},
      {R"("7;")", true, "7"},
      {R"("{\"a\":1}")", false, "null"},
      {R"("abc")", false, "null"},
      {R"("")", false, "null"},
      {R"("null")", false, "null"},
      // Object-literal syntax beyond JSON.
      {"{a:'x', \"b\":[1,2,], // note\n c: /* inline */ 3,}", true, R"({"a":"x","b":[1,2],"c":3})"},
      {"[1,,2]", true, "[1,null,2]"},
      {"[089, 08, 0.9, 00, 0]", true, "[89,8,0.9,0,0]"},
      {"[,]", true, "[null]"},
      {"{h:0x1F, o:017, d:019, f:.5, g:5., e:1E3, n:-1, p:+2, q:- -3}", true,
       R"({"h":31,"o":15,"d":19,"f":0.5,"g":5,"e":1000,"n":-1,"p":2,"q":3})"},
      {"{1.50:'x', 0x10:'y', $_v:1, 名称:2}", true, R"({"1.5":"x","16":"y","$_v":1,"名称":2})"},
      {R"({"a":1,"b":2,"a":3})", true, R"({"a":3,"b":2})"},
      {R"(({"a":[1]}))", true, R"({"a":[1]})"},
      {"{a:NaN, b:-Infinity, c:undefined}", true, R"({"a":null,"b":null,"c":null})"},
      {"'\\x41\\u00e9\\101\\q\\\nz'", false, "null"},  // a program "Aé Aqz" is no value
      {"\"'\\x41\\u00e9\\101\\q\\\nz'\"", true,
       "\"Aé"
       "Aqz\""},
      {"{s:'line\\u2028sep'}", true, "{\"s\":\"line\\u2028sep\"}"},
      {"{s:\"a\nb\"}", false, "null"},
      // Anything that would run or reference code fails.
      {"alert(1)", false, "null"},
      {R"({"a":window.x})", false, "null"},
      {"1+1", false, "null"},
      {"--1", false, "null"},
      {"3in", false, "null"},
      {"{,}", false, "null"},
      {"[1 2]", false, "null"},
      {"0x", false, "null"},
      {"1e", false, "null"},
  };
  for (const Case& c : cases) {
    JsonDocument document;
    EXPECT_EQ(document.parse(Gbk(c.text)), c.loads) << c.text;
    EXPECT_EQ(document.toJson(), Gbk(c.json)) << c.text;
  }
}

TEST(JsonDocument, AssignAsIsKeepsStrings) {
  JsonDocument document;
  ASSERT_TRUE(document.parse(R"("[1]")", true));
  EXPECT_EQ(document.typeAt(""), 6);
  EXPECT_EQ(document.textAt(""), "[1]");
  EXPECT_TRUE(document.parse("[1];", true));
  EXPECT_FALSE(document.parse("", true));
  EXPECT_FALSE(document.parse("[1];[2]", true));
}

TEST(JsonDocument, NumbersReadAsScriptsWriteThem) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {0.0, "0"},
      {-0.0, "0"},
      {35, "35"},
      {-1.5, "-1.5"},
      {0.1, "0.1"},
      {0.1 + 0.2, "0.30000000000000004"},
      {100, "100"},
      {1e20, "100000000000000000000"},
      {123456789012345678901.0, "123456789012345680000"},
      {1e21, "1e+21"},
      {1.5e21, "1.5e+21"},
      {0.000001, "0.000001"},
      {0.000123, "0.000123"},
      {1e-7, "1e-7"},
      {-1.2345e-7, "-1.2345e-7"},
      {5e-324, "5e-324"},
      {1.7976931348623157e308, "1.7976931348623157e+308"},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
      {std::numeric_limits<double>::infinity(), "Infinity"},
      {-std::numeric_limits<double>::infinity(), "-Infinity"},
  };
  for (const Case& c : cases) EXPECT_EQ(JsNumberText(c.value), c.text) << c.text;

  // Texts of numbers that do not fit read as a script reads them.
  JsonDocument document = Loaded("[1e400, -1e400, 1e-400, 0.000000000000000000000000000001e400, 1e-2]");
  EXPECT_EQ(document.textAt(""), "Infinity,-Infinity,0,Infinity,0.01");
}

TEST(JsonDocument, PlainAndJsonTextsByNodeType) {
  JsonDocument document = Loaded(
      Gbk(R"({"big":1.5e21,"t":true,"nest":[1,[2,3]],"mixed":[null,{},"a",[]],"empty":{},"nil":null,)"
          R"("s":"q\"\\","ctl":"\u0001\u007f\u00ad\u0600\u2028\u2060\ufeff\ufff0\t\n\b\f\r","cn":"中文"})"));
  struct Case {
    const char* path;
    const char* plain;
    const char* json;
  };
  const Case cases[] = {
      {"big", "1.5e+21", "1.5e+21"},
      {"t", "true", "true"},
      {"nest", "1,2,3", "[1,[2,3]]"},
      {"mixed", ",[object Object],a,", R"([null,{},"a",[]])"},
      {"empty", "[object Object]", "{}"},
      {"nil", "", "null"},
      {"missing", "", ""},
      {"missing.x", "", ""},
      {"s", "q\"\\", R"("q\"\\")"},
      {"ctl", nullptr, R"("\u0001\u007f\u00ad\u0600\u2028\u2060\ufeff\ufff0\t\n\b\f\r")"},
      {"cn", "中文", "\"中文\""},
  };
  for (const Case& c : cases) {
    if (c.plain != nullptr) {
      EXPECT_EQ(document.textAt(c.path), Gbk(c.plain)) << c.path;
    }
    EXPECT_EQ(document.textAt(c.path, true), Gbk(c.json)) << c.path;
    EXPECT_EQ(document.jsonAt(c.path), Gbk(c.json)) << c.path;
  }
  EXPECT_EQ(Loaded(R"({"b":[1,"x"],"a":{"c":null}})").textAt("", true), R"({"b":[1,"x"],"a":{"c":null}})");
}

TEST(JsonDocument, TextsCrossAsGbk) {
  JsonDocument document = Loaded(Gbk(R"({"标题":"娱乐新闻","emoji":"a\ud83d\ude00b","lone":"\ud800"})"));
  EXPECT_EQ(document.textAt(Gbk("标题")), Gbk("娱乐新闻"));
  EXPECT_EQ(document.textAt(Gbk("da.标题")), Gbk("娱乐新闻"));
  EXPECT_EQ(document.textAt("emoji"), "a?b");  // no GBK form
  EXPECT_EQ(document.textAt("lone"), "?");
}

TEST(JsonDocument, PathsResolveRelativeToTheRoot) {
  JsonDocument document =
      Loaded(R"({"a":{"b":1,"b c":2},"da":{"x":3},"data":4,"list":[{"k":"v"}],"s":"str"})");
  struct Case {
    const char* path;
    const char* resolved;
    bool exists;
  };
  const Case cases[] = {
      {"a.b", "da.a.b", true},
      {"", "da", true},
      {"[0]", "da[0]", false},
      {"da.a", "da.a", true},
      {"da", "da", true},
      {"da.x", "da.da.x", true},  // no root member x: read as member "da"
      {"data", "da.data", true},
      {"date", "da.date", false},
      {"list[0].k", "da.list[0].k", true},
      {"list[0]['k']", "da.list[0]['k']", true},
      {"a[\"b c\"]", "da.a[\"b c\"]", true},
      {" a . b ", "da. a . b ", true},
      {"a..b", "da.a..b", false},
      {"a[", "da.a[", false},
      {"1a", "da.1a", false},
  };
  for (const Case& c : cases) {
    Text path = c.path;
    EXPECT_EQ(document.resolvePath(path), c.exists) << c.path;
    EXPECT_EQ(path, c.resolved) << c.path;
    EXPECT_EQ(document.exists(c.path), c.exists) << c.path;
  }
  EXPECT_EQ(Loaded("[[5,6]]").textAt("[0][1]"), "6");
}

TEST(JsonDocument, TypesByPath) {
  JsonDocument document = Loaded(R"({"s":"x","a":[1],"o":{},"n":2,"t":false,"z":null,"obj":{"0":"zero"}})");
  struct Case {
    const char* path;
    int type;
  };
  const Case cases[] = {
      {"s", 6},
      {"a", 5},
      {"o", 4},
      {"n", 2},
      {"t", 1},
      {"z", 0},
      {"o.missing", 0},
      {"missing", 0},
      {"missing.below", -1},
      {"z.below", -1},
      {"s.length2", 0},
      {"a[9]", 0},
      {"a[", -1},
      {"", 4},
      {"obj[0]", 6},  // an index on an object names the member of that number
  };
  for (const Case& c : cases) EXPECT_EQ(document.typeAt(c.path), c.type) << c.path;
  JsonDocument failed;
  failed.parse("oops");
  EXPECT_EQ(failed.typeAt(""), 0);
  EXPECT_EQ(failed.typeAt("a"), -1);
}

TEST(JsonDocument, TextValuesKeepTheirBackslashes) {
  JsonDocument document;
  for (const char* value :
       {"C:\\x", "it's \"quoted\"", "two\r\nlines", "\\\\server\\share\\", "sep\xE2\x80\xA8"}) {
    ASSERT_TRUE(document.setValue("a", Gbk(value))) << value;
    EXPECT_EQ(document.textAt("a"), Gbk(value)) << value;
  }
  ASSERT_TRUE(document.setValue("a", "C:\\x"));
  EXPECT_EQ(document.toJson(), R"({"a":"C:\x"})");
  EXPECT_EQ(document.elementText(0, "list"), "");
  ASSERT_TRUE(document.appendItem("C:\\y", "list"));
  EXPECT_EQ(document.elementText(0, "list"), "C:\\y");

  EXPECT_FALSE(document.setValue("missing.child", "x"));
  EXPECT_FALSE(document.setValue("a..b", "x"));
  EXPECT_FALSE(document.setValue("a.child", "x"));  // a string holds no members
  EXPECT_TRUE(document.setValue("", "root"));
  EXPECT_EQ(document.textAt(""), "root");
}

TEST(JsonDocument, JsonValuesMergeIntoObjectsAndReplaceTheRest) {
  JsonDocument document = Loaded(R"({"o":{"a":1,"s":"x","arr":[1],"n":null,"sub":{"k":1}},"p":5})");
  ASSERT_TRUE(document.setValue("o", R"({"a":2,"s":"y","arr":[2,3],"n":5,"sub":{"j":2},"new":true})", true));
  EXPECT_EQ(document.textAt("o", true),
            R"({"a":2,"s":"y","arr":[1,2,3],"n":5,"sub":{"k":1,"j":2},"new":true})");
  ASSERT_TRUE(document.setValue("p", "{q:[1]}", true));
  EXPECT_EQ(document.textAt("p", true), R"({"q":[1]})");
  ASSERT_TRUE(document.setValue("r", "", true));
  EXPECT_EQ(document.textAt("r", true), "{}");
  ASSERT_TRUE(document.setValue("e", R"("[1,2]")", true));  // evaluated: the string's array
  EXPECT_EQ(document.countAt("e"), 2);
  ASSERT_TRUE(document.setValue("z", "null", true));
  EXPECT_EQ(document.textAt("z", true), "null");
  EXPECT_FALSE(document.setValue("p", "alert(1)", true));
  EXPECT_EQ(document.textAt("p", true), R"({"q":[1]})");

  EXPECT_TRUE(document.setByExpression("x", R"("[3]")"));
  EXPECT_EQ(document.textAt("x", true), "[3]");
  EXPECT_TRUE(document.setByExpression("y", "{a:1}"));
  EXPECT_EQ(document.textAt("y", true), R"({"a":1})");
  EXPECT_FALSE(document.setByExpression("y", "new Date()"));
  EXPECT_FALSE(document.setByExpression("no.such.parent", "1"));
}

TEST(JsonDocument, ArrayEditing) {
  JsonDocument document;
  ASSERT_TRUE(document.appendItem("b", "list"));
  ASSERT_TRUE(document.appendItem("a", "list", false, true));
  ASSERT_TRUE(document.appendItem("{n:1}", "list", true));
  ASSERT_TRUE(document.appendItem("\"[1]\"", "list", true));  // code is not evaluated twice
  EXPECT_FALSE(document.appendItem("f()", "list", true));
  EXPECT_EQ(document.textAt("list", true), R"(["a","b",{"n":1},"[1]"])");

  ASSERT_TRUE(document.setElement(1, "list", "B"));
  ASSERT_TRUE(document.setElement(5, "list", "true", true));
  EXPECT_EQ(document.textAt("list", true), R"(["a","B",{"n":1},"[1]",null,true])");
  EXPECT_FALSE(document.setElement(1 << 30, "list", "far"));
  EXPECT_FALSE(document.setElement(0, "missing", "x"));

  ASSERT_TRUE(document.removeElement(-1, "list"));
  ASSERT_TRUE(document.removeElement(0, "list"));
  ASSERT_TRUE(document.removeElement(99, "list"));
  EXPECT_EQ(document.textAt("list", true), R"(["B",{"n":1},"[1]",null])");
  EXPECT_FALSE(document.removeElement(0, "missing"));

  ASSERT_TRUE(document.removeAt("list[1]"));
  EXPECT_EQ(document.textAt("list", true), R"(["B",null,"[1]",null])");
  EXPECT_EQ(document.countAt("list"), 4);

  ASSERT_TRUE(document.setValue("s", "text"));
  ASSERT_TRUE(document.appendItem("x", "s"));  // a non-array becomes an array first
  EXPECT_EQ(document.textAt("s", true), R"(["x"])");
}

TEST(JsonDocument, NumbersAndRemoval) {
  JsonDocument document =
      Loaded(R"({"n":2.5,"s":" 12 ","bad":"12px","inf":"inf","t":true,"o":{"k":1,"m":2}})");
  EXPECT_EQ(document.numberAt("n"), 2.5);
  EXPECT_EQ(document.numberAt("s"), 12);
  EXPECT_EQ(document.numberAt("bad"), 0);
  EXPECT_EQ(document.numberAt("inf"), 0);
  EXPECT_EQ(document.numberAt("t"), 1);
  EXPECT_EQ(document.numberAt("o"), 0);
  EXPECT_EQ(document.numberAt("missing.x"), 0);
  ASSERT_TRUE(document.setNumber("n", 123456789012345.6));
  EXPECT_EQ(document.numberAt("n"), 123456789012345.6);
  EXPECT_EQ(document.textAt("n"), "123456789012345.6");

  EXPECT_TRUE(document.removeAt("o.k"));
  EXPECT_TRUE(document.removeAt("o.absent"));
  EXPECT_FALSE(document.removeAt("absent.k"));
  EXPECT_FALSE(document.removeAt(""));
  EXPECT_EQ(document.textAt("o", true), R"({"m":2})");
  EXPECT_TRUE(document.clear());
  EXPECT_EQ(document.toJson(), "{}");
}

TEST(JsonDocument, MemberNamesAndNodeValues) {
  JsonDocument document = Loaded(R"({"a":1,"b":{"c":"x"},"n":null,"t":false,"":"","e":[2,"y"]})");
  std::vector<Text> list{"stale"};
  EXPECT_EQ(document.nodeValues(list), 3);
  EXPECT_EQ(list, (std::vector<Text>{"1", "false", ""}));
  EXPECT_EQ(document.nodeValues(list, "", true), 6);
  EXPECT_EQ(list, (std::vector<Text>{"1", "x", "false", "", "2", "y"}));
  EXPECT_EQ(document.nodeValues(list, "b.c"), 0);
  EXPECT_EQ(document.nodeValues(list, "missing.x"), 0);
  EXPECT_TRUE(list.empty());

  EXPECT_EQ(document.memberNames(list), 6);
  EXPECT_EQ(list, (std::vector<Text>{"a", "b", "n", "t", "", "e"}));
  EXPECT_EQ(document.memberNames(list, "e"), 0);
  EXPECT_TRUE(list.empty());

  JsonDocument nested = Loaded(R"({"a":1,"b":{"c":"x"}})");
  EXPECT_EQ(nested.nodeValues(list, "", false), 1);
  EXPECT_EQ(nested.nodeValues(list, "", true), 2);

  // Values come as stored: a backslash set as text stays its placeholder U+2400.
  nested.setValue("b.c", "C:\\x");
  EXPECT_EQ(nested.nodeValues(list, "b"), 1);
  EXPECT_EQ(list[0], Utf8ToGbk("C:\xE2\x90\x80x"));
}

TEST(JsonDocument, CopiesShareOneTreeUntilTheyLoadAgain) {
  JsonDocument first = Loaded(R"({"a":1})");
  JsonDocument second = first;
  second.setNumber("a", 2);
  EXPECT_EQ(first.textAt("a"), "2");
  second.parse(R"({"a":3})");
  EXPECT_EQ(first.textAt("a"), "2");
  EXPECT_EQ(second.textAt("a"), "3");
}

TEST(JsonDocument, SubDocumentsAreIndependentCopies) {
  JsonDocument document = Loaded(R"({"o":{"k":[1,2]},"list":[{"u":"x"},"[7]","word",null],"n":5})");
  document.setValue("o.path", "C:\\new");
  JsonDocument sub = document.subDocument("o");
  EXPECT_EQ(sub.textAt("k"), "1,2");
  // A stored backslash is read again as an escape character, as a reparse of the text reads it.
  EXPECT_EQ(sub.textAt("path"), "C:\new");
  EXPECT_EQ(document.textAt("o.path"), "C:\\new");
  sub.setNumber("k[0]", 9);
  EXPECT_EQ(document.textAt("o.k"), "1,2");

  EXPECT_EQ(document.elementDocument(0, "list").textAt("u"), "x");
  EXPECT_EQ(document.elementDocument(1, "list").textAt("", true), "[7]");  // a string is evaluated
  EXPECT_EQ(document.elementDocument(2, "list").toJson(), "null");
  EXPECT_EQ(document.elementDocument(3, "list").toJson(), "null");
  EXPECT_EQ(document.subDocument("missing").toJson(), "null");
  EXPECT_EQ(document.subDocument("n").textAt(""), "5");

  EXPECT_EQ(document.elementText(0, "list"), "");
  EXPECT_EQ(document.elementText(0, "list", true), R"({"u":"x"})");
  EXPECT_EQ(document.elementText(2, "list"), "word");
  EXPECT_EQ(document.elementText(9, "list", true), "");
}

TEST(JsonDocument, HostileInputStaysBounded) {
  const int limit = JsonDocument::kMaxDepth;
  EXPECT_TRUE(JsonDocument().parse(std::string(limit, '[') + std::string(limit, ']')));
  EXPECT_FALSE(JsonDocument().parse(std::string(limit + 1, '[') + std::string(limit + 1, ']')));
  EXPECT_FALSE(JsonDocument().parse(std::string(1000000, '[')));
  EXPECT_FALSE(JsonDocument().parse(std::string(1000000, '(')));
  EXPECT_FALSE(JsonDocument().parse("{a:" + std::string(1000000, '{')));

  // Writes cannot build a tree deeper than a load could.
  JsonDocument deep = Loaded(std::string(limit, '[') + std::string(limit, ']'));
  Text path(static_cast<std::size_t>(limit - 1) * 3, ' ');
  for (int i = 0; i < limit - 1; ++i) path.replace(static_cast<std::size_t>(i) * 3, 3, "[0]");
  EXPECT_TRUE(deep.setValue(path, "[]", true));
  EXPECT_FALSE(deep.setValue(path, "[[]]", true));
  EXPECT_FALSE(deep.appendItem("[]", path, true));

  // Many members, with repeats, keep first positions and last values.
  Text members = "{";
  for (int i = 0; i < 5000; ++i) members += "\"k" + std::to_string(i % 40) + "\":" + std::to_string(i) + ",";
  members += "}";
  JsonDocument many = Loaded(members);
  std::vector<Text> names;
  EXPECT_EQ(many.memberNames(names), 40);
  EXPECT_EQ(names.front(), "k0");
  EXPECT_EQ(many.textAt("k0"), "4960");
  EXPECT_EQ(many.textAt("k39"), "4999");
}

}  // namespace
}  // namespace pelvaro
