#include "sim/graph.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace pelvaro::sim {
namespace {

GraphOptions Options(std::uint64_t seed, bool hostile = false) {
  GraphOptions o;
  o.seed = seed;
  o.articles = 2000;
  o.hostile = hostile;
  o.now = 1800000000;
  return o;
}

bool SameArticle(const Article& a, const Article& b) {
  return a.docid == b.docid && a.date == b.date && a.duration == b.duration && a.width == b.width &&
         a.height == b.height && a.summary == b.summary && a.title == b.title && a.category == b.category &&
         a.variant_sizes == b.variant_sizes;
}

TEST(Graph, SameSeedGivesSameGraphOtherSeedAnother) {
  Graph a(Options(7)), b(Options(7)), c(Options(8));
  std::size_t differing = 0;
  for (std::size_t i = 0; i < a.size(); i += 37) {
    EXPECT_TRUE(SameArticle(a.ArticleAt(i), b.ArticleAt(i))) << i;
    EXPECT_EQ(a.Related(i), b.Related(i)) << i;
    if (a.DocidAt(i) != c.DocidAt(i)) ++differing;
  }
  EXPECT_GT(differing, 0u);
}

TEST(Graph, ArticlesStayWithinTheirRanges) {
  GraphOptions o = Options(3);
  Graph graph(o);
  std::regex docid_shape("V_[A-Za-z0-9]{8}");
  std::regex standard_date(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})");
  std::size_t portrait = 0, square = 0, empty_summary = 0, spaced = 0, standard = 0, odd_dates = 0;
  std::set<std::size_t> variant_counts;
  for (std::size_t i = 0; i < graph.size(); ++i) {
    Article a = graph.ArticleAt(i);
    ASSERT_TRUE(std::regex_match(a.docid, docid_shape)) << a.docid;
    EXPECT_EQ(graph.Find(a.docid), i);
    EXPECT_GE(a.duration, 3);
    EXPECT_LE(a.duration, 900);
    EXPECT_GE(a.age_seconds, 3600);
    EXPECT_LE(a.age_seconds, 60 * 86400);
    EXPECT_FALSE(a.title.empty());
    ASSERT_GE(a.variant_sizes.size(), 1u);
    ASSERT_LE(a.variant_sizes.size(), 3u);
    variant_counts.insert(a.variant_sizes.size());
    for (auto size : a.variant_sizes) EXPECT_GT(size, 0u);
    EXPECT_TRUE(graph.FindCategory(a.category).has_value());
    portrait += a.width < a.height;
    square += a.width == a.height;
    empty_summary += a.summary.empty();
    spaced += a.summary.find(' ') != std::string::npos || a.summary.find("\u3000") != std::string::npos;
    if (std::regex_match(a.date, standard_date))
      ++standard;
    else
      ++odd_dates;
  }
  double n = static_cast<double>(graph.size());
  EXPECT_NEAR(portrait / n, 1.0 / 3, 0.05);
  EXPECT_GT(square, 0u);
  EXPECT_NEAR(empty_summary / n, 0.1, 0.04);
  EXPECT_GT(spaced, graph.size() / 3);
  EXPECT_GT(standard / n, 0.8);
  EXPECT_GT(odd_dates, 0u);
  EXPECT_EQ(variant_counts.size(), 3u);
  EXPECT_EQ(graph.Categories().size(), 10u);
  EXPECT_EQ(graph.Categories().front(), "娱乐");
}

TEST(Graph, StandardDatesAreTheLocalTimeOfTheAge) {
  Graph graph(Options(5));
  for (std::size_t i = 0; i < 200; ++i) {
    Article a = graph.ArticleAt(i);
    if (a.date.size() != 19 || a.date[4] != '-') continue;
    std::tm tm{};
    ASSERT_NE(strptime(a.date.c_str(), "%Y-%m-%d %H:%M:%S", &tm), nullptr);
    tm.tm_isdst = -1;
    EXPECT_NEAR(static_cast<double>(mktime(&tm)), 1800000000.0 - a.age_seconds, 3600.0) << a.date;
  }
}

TEST(Graph, SizeScaleMultipliesDeclaredSizes) {
  GraphOptions small = Options(9);
  small.size_scale = 0.02;
  Graph full(Options(9)), scaled(small);
  for (std::size_t i = 0; i < 50; ++i) {
    auto big = full.ArticleAt(i).variant_sizes;
    auto little = scaled.ArticleAt(i).variant_sizes;
    ASSERT_EQ(big.size(), little.size());
    for (std::size_t v = 0; v < big.size(); ++v) EXPECT_NEAR(little[v], big[v] * 0.02, 1.0);
  }
}

TEST(Graph, RelatedListsAreBoundedDistinctAndNeverSelf) {
  Graph graph(Options(11));
  std::size_t full_lists = 0;
  for (std::size_t i = 0; i < graph.size(); i += 13) {
    auto related = graph.Related(i);
    EXPECT_LE(related.size(), Graph::kMaxRelated);
    EXPECT_GE(related.size(), 5u);
    std::set<std::size_t> unique(related.begin(), related.end());
    EXPECT_EQ(unique.size(), related.size());
    EXPECT_EQ(unique.count(i), 0u);
    full_lists += related.size() == Graph::kMaxRelated;
  }
  EXPECT_GT(full_lists, 0u);
  GraphOptions tiny = Options(1);
  tiny.articles = 1;
  EXPECT_TRUE(Graph(tiny).Related(0).empty());
}

TEST(Graph, SeedsComeFromTheAskedCategory) {
  Graph graph(Options(4));
  auto entertainment = graph.FindCategory("娱乐");
  ASSERT_TRUE(entertainment);
  for (std::uint64_t k = 0; k < 20; ++k) {
    auto seed = graph.SeedFor(entertainment, k);
    ASSERT_TRUE(seed);
    EXPECT_EQ(graph.ArticleAt(*seed).category, "娱乐");
    EXPECT_TRUE(graph.SeedFor(std::nullopt, k).has_value());
  }
  EXPECT_NE(graph.SeedFor(entertainment, 0), graph.SeedFor(entertainment, 1));
}

TEST(Graph, HostileModeCarriesEveryKindOfBadName) {
  Graph graph(Options(2, true));
  std::set<std::string> docids, titles, categories;
  for (std::size_t i = 0; i < graph.size(); ++i) {
    Article a = graph.ArticleAt(i);
    docids.insert(a.docid);
    titles.insert(a.title);
    categories.insert(a.category);
    EXPECT_EQ(graph.Find(a.docid), i);
  }
  auto any = [](const std::set<std::string>& names, auto predicate) {
    for (const auto& name : names) {
      if (predicate(name)) return true;
    }
    return false;
  };
  auto contains = [](std::string_view part) {
    return [part](const std::string& name) { return name.find(part) != std::string::npos; };
  };
  for (const std::set<std::string>* names : {&docids, &titles}) {
    EXPECT_TRUE(any(*names, contains("../")));
    EXPECT_TRUE(any(*names, contains("\\")));
    EXPECT_TRUE(any(*names, [](const std::string& n) { return !n.empty() && n[0] == '/'; }));
    EXPECT_TRUE(any(*names, contains("\x01")));
    EXPECT_TRUE(any(*names, contains(":*?\"<>|")));
    EXPECT_TRUE(any(*names, [](const std::string& n) { return n.size() >= 300; }));
    EXPECT_EQ(names->count("."), 1u);
    EXPECT_EQ(names->count(".."), 1u);
  }
  EXPECT_TRUE(categories.count("..") == 1 || categories.count(".") == 1);
  EXPECT_TRUE(any(categories, contains("/")));
  for (const auto& name : graph.Categories()) {
    EXPECT_EQ(name.find_first_of("\r\n"), std::string::npos) << "a name would split the category list";
  }
}

}  // namespace
}  // namespace pelvaro::sim
