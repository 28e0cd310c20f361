#pragma once
// The simulated recommendation graph. Only the docids and categories are kept in memory; every
// other field of an article is derived on demand from (seed, index), so large graphs start at once
// and the same seed always gives the same answers.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pelvaro::sim {

struct GraphOptions {
  std::uint64_t seed = 1;
  std::size_t articles = 5000;
  double size_scale = 1.0;
  // Names that try to escape folders or break file systems for some of the articles.
  bool hostile = false;
  // When not empty, article k has title k modulo the list's size (bytes as they are); a title
  // that is not UTF-8 only appears on the article page, its summary left empty.
  std::vector<std::string> titles;
  // The moment publish dates are counted back from.
  std::time_t now = 0;
};

// One article as the platform describes it. Texts are UTF-8.
struct Article {
  std::size_t index = 0;
  std::string docid;
  std::string date;  // local time text; a few are in other numeric forms or unreadable
  std::int64_t age_seconds = 0;
  int duration = 0;  // seconds, 3 to 900
  int width = 0;
  int height = 0;
  std::string summary;  // may be empty; carries ASCII and full-width spaces
  std::string title;    // what the article page shows between <h2> and </h2>
  std::string category;
  std::vector<std::uint64_t> variant_sizes;  // one to three, in bytes
};

class Graph {
 public:
  static constexpr std::size_t kMaxRelated = 50;

  explicit Graph(GraphOptions options);

  std::size_t size() const { return docids_.size(); }
  const GraphOptions& options() const { return options_; }

  Article ArticleAt(std::size_t index) const;
  const std::string& DocidAt(std::size_t index) const { return docids_[index]; }
  std::optional<std::size_t> Find(std::string_view docid) const;

  // Up to 50 related articles, never the article itself; the same list every time.
  std::vector<std::size_t> Related(std::size_t index) const;

  // Category names (UTF-8) in list order; the first is "娱乐".
  const std::vector<std::string>& Categories() const { return categories_; }
  std::optional<std::size_t> FindCategory(std::string_view utf8) const;
  // The k-th seed for a category (all articles when category is nullopt); nullopt when the
  // category has no article.
  std::optional<std::size_t> SeedFor(std::optional<std::size_t> category, std::uint64_t k) const;

 private:
  bool IsHostile(std::size_t index) const;

  GraphOptions options_;
  std::vector<std::string> categories_;
  std::vector<std::string> docids_;
  std::vector<std::uint16_t> category_of_;
  std::vector<std::vector<std::uint32_t>> members_;
  std::unordered_map<std::string, std::size_t> by_docid_;
};

}  // namespace pelvaro::sim
