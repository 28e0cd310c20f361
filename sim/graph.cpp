#include "sim/graph.h"

#include <cmath>
#include <cstdio>

#include "platform/text.h"
#include "sim/hash.h"

namespace pelvaro::sim {
namespace {

constexpr std::string_view kAlnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

const std::vector<std::string>& PlainCategories() {
  static const std::vector<std::string> names = {"娱乐", "搞笑", "体育", "科技", "美食",
                                                 "汽车", "游戏", "旅游", "军事", "财经"};
  return names;
}

// Categories that only appear with --hostile. None holds CR or LF, which would split the list.
const std::vector<std::string>& HostileCategories() {
  static const std::vector<std::string> names = {"../娱乐", "/tmp/体育", "a\\b",       ":*?\"<>|",
                                                 ".",       "..",        "ctl\x01\x1b[31m\x1f"};
  return names;
}

std::string HostileDocid(std::string_view plain, std::size_t kind) {
  std::string base(plain);
  switch (kind % 7) {
    case 0:
      return "../" + base;
    case 1:
      return "a/" + base;
    case 2:
      return "a\\" + base;
    case 3:
      return "/tmp/" + base;
    case 4:
      return base + "\x01\x1b[1m\x1f";
    case 5:
      return base + ":*?\"<>|";
    default:
      return base + std::string(300 - base.size(), 'x');
  }
}

std::string HostileTitle(Rng& rng) {
  switch (rng.Between(0, 7)) {
    case 0:
      return "../../etc/passwd";
    case 1:
      return "/tmp/绝对路径";
    case 2:
      return "左\\右/中";
    case 3:
      return "标题:*?\"<>|";
    case 4:
      return "控制\x01\x02\x1f\x1b[2J\x1b]0;窗口\x07字符";
    case 5:
      return ".";
    case 6:
      return "..";
    default: {
      std::string title;
      while (title.size() < 300) title += "很长的标题";  // 15 bytes a round in UTF-8
      return title.substr(0, 300);
    }
  }
}

const char* const kSubjects[] = {"小猫", "网友", "男子", "女孩", "球迷",
                                 "大厨", "司机", "老人", "小狗", "学生"};
const char* const kVerbs[] = {"偶遇", "挑战", "发现", "记录", "分享", "实测", "揭秘", "体验"};
const char* const kObjects[] = {"街头美食", "神奇操作", "绝美风景", "搞笑瞬间", "新款汽车",
                                "比赛现场", "家乡变化", "vlog日常", "4K画面",   "AI新玩法"};
const char* const kEndings[] = {"，太可爱了", "！", "，看完笑出声", "……",
                                "，网友热议", "",   "（完整版）",   " 2026"};

std::string MakeTitle(Rng& rng) {
  std::string title = kSubjects[rng.Between(0, 9)];
  title += kVerbs[rng.Between(0, 7)];
  title += kObjects[rng.Between(0, 9)];
  title += kEndings[rng.Between(0, 7)];
  return title;
}

// The title with ASCII and full-width spaces slipped in between characters.
std::string WithSpaces(const std::string& title, Rng& rng) {
  std::string out;
  for (std::size_t i = 0; i < title.size();) {
    std::size_t len = 1;
    auto c = static_cast<unsigned char>(title[i]);
    if (c >= 0xF0)
      len = 4;
    else if (c >= 0xE0)
      len = 3;
    else if (c >= 0xC0)
      len = 2;
    out.append(title, i, len);
    i += len;
    if (i < title.size() && rng.Chance(0.12)) out += rng.Chance(0.5) ? " " : "\u3000";
  }
  if (rng.Chance(0.2)) out = "\u3000" + out;
  if (rng.Chance(0.2)) out += " ";
  return out;
}

std::string FormatDate(std::time_t when, Rng& rng) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[64];
  int y = local.tm_year + 1900, mo = local.tm_mon + 1, d = local.tm_mday;
  int h = local.tm_hour, mi = local.tm_min, s = local.tm_sec;
  double form = rng.Unit();
  if (form < 0.85) {
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
  } else if (form < 0.89) {
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
  } else if (form < 0.92) {
    std::snprintf(text, sizeof text, "%04d.%02d.%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
  } else if (form < 0.95) {
    std::snprintf(text, sizeof text, "%d/%d/%d %d:%d:%d", y, mo, d, h, mi, s);
  } else {
    static const char* const kUnreadable[] = {"", "刚刚", "3小时前", "unknown"};
    return kUnreadable[rng.Between(0, 3)];
  }
  return text;
}

}  // namespace

Graph::Graph(GraphOptions options) : options_(options) {
  if (options_.now == 0) options_.now = std::time(nullptr);
  categories_ = PlainCategories();
  if (options_.hostile) {
    for (const auto& name : HostileCategories()) categories_.push_back(name);
  }
  members_.resize(categories_.size());
  docids_.reserve(options_.articles);
  category_of_.reserve(options_.articles);
  by_docid_.reserve(options_.articles);
  for (std::size_t i = 0; i < options_.articles; ++i) {
    Rng rng(options_.seed, i, 0x646F6369);
    std::string docid;
    do {
      docid = "V_";
      for (int c = 0; c < 8; ++c) docid += kAlnum[rng.Next() % kAlnum.size()];
      if (IsHostile(i)) {
        // "." and ".." name one article each; the other hostile ones keep a unique core.
        std::size_t ordinal = i / 4;
        // Sized fills rather than `= "."`, on which GCC 12 warns falsely (-Wrestrict).
        if (ordinal == 0)
          docid.assign(1, '.');
        else if (ordinal == 1)
          docid.assign(2, '.');
        else
          docid = HostileDocid(docid, ordinal);
      }
    } while (by_docid_.count(docid) != 0);
    std::size_t category = rng.Next() % PlainCategories().size();
    if (IsHostile(i) && rng.Chance(0.5)) {
      category = PlainCategories().size() + rng.Next() % HostileCategories().size();
    }
    by_docid_.emplace(docid, i);
    docids_.push_back(std::move(docid));
    category_of_.push_back(static_cast<std::uint16_t>(category));
    members_[category].push_back(static_cast<std::uint32_t>(i));
  }
}

bool Graph::IsHostile(std::size_t index) const { return options_.hostile && index % 4 == 1; }

Article Graph::ArticleAt(std::size_t index) const {
  Rng rng(options_.seed, index, 0x61727469);
  Article a;
  a.index = index;
  a.docid = docids_[index];
  a.category = categories_[category_of_[index]];
  // Recent videos are more common than old ones: an hour to 60 days, weighted to the young end.
  double u = rng.Unit();
  a.age_seconds = 3600 + static_cast<std::int64_t>(u * u * (60.0 * 86400 - 3600));
  a.date = FormatDate(options_.now - a.age_seconds, rng);
  a.duration = static_cast<int>(rng.Chance(0.7) ? rng.Between(3, 180) : rng.Between(3, 900));
  double shape = rng.Unit();
  static const int kLandscape[][2] = {{1280, 720}, {1920, 1080}, {854, 480}, {640, 360}};
  static const int kPortrait[][2] = {{720, 1280}, {1080, 1920}, {540, 960}};
  if (shape < 0.33) {
    const auto& p = kPortrait[rng.Between(0, 2)];
    a.width = p[0];
    a.height = p[1];
  } else if (shape < 0.38) {
    a.width = a.height = rng.Chance(0.5) ? 720 : 1080;
  } else {
    const auto& p = kLandscape[rng.Between(0, 3)];
    a.width = p[0];
    a.height = p[1];
  }
  a.title = IsHostile(index) && rng.Chance(0.7) ? HostileTitle(rng) : MakeTitle(rng);
  a.summary = rng.Chance(0.1) ? std::string() : WithSpaces(a.title, rng);
  if (!options_.titles.empty()) {
    a.title = options_.titles[index % options_.titles.size()];
    a.summary = IsUtf8(a.title) ? a.title : std::string();
  }
  int variants = static_cast<int>(rng.Between(1, 3));
  for (int v = 0; v < variants; ++v) {
    // Bytes per second grows with the variant's quality.
    double rate = (60.0 + 120.0 * v) * 1024 * (1.0 + rng.Unit());
    double bytes = std::floor(a.duration * rate * options_.size_scale);
    a.variant_sizes.push_back(bytes < 1 ? 1 : static_cast<std::uint64_t>(bytes));
  }
  return a;
}

std::optional<std::size_t> Graph::Find(std::string_view docid) const {
  auto it = by_docid_.find(std::string(docid));
  if (it == by_docid_.end()) return std::nullopt;
  return it->second;
}

std::vector<std::size_t> Graph::Related(std::size_t index) const {
  std::vector<std::size_t> related;
  std::size_t n = size();
  if (n < 2) return related;
  Rng rng(options_.seed, index, 0x72656C61);
  std::size_t wanted = rng.Chance(0.85) ? kMaxRelated : static_cast<std::size_t>(rng.Between(5, 49));
  wanted = std::min(wanted, n - 1);
  const auto& same = members_[category_of_[index]];
  // Half of the answer tends to stay in the article's category, as recommendations do.
  for (std::size_t tries = 0; related.size() < wanted && tries < wanted * 20; ++tries) {
    std::size_t pick = rng.Chance(0.5) && same.size() > 1 ? same[rng.Next() % same.size()] : rng.Next() % n;
    if (pick == index) continue;
    bool seen = false;
    for (std::size_t r : related) seen = seen || r == pick;
    if (!seen) related.push_back(pick);
  }
  return related;
}

std::optional<std::size_t> Graph::FindCategory(std::string_view utf8) const {
  for (std::size_t i = 0; i < categories_.size(); ++i) {
    if (categories_[i] == utf8) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> Graph::SeedFor(std::optional<std::size_t> category, std::uint64_t k) const {
  if (!category) {
    if (size() == 0) return std::nullopt;
    // A stride co-prime with most sizes spreads the seeds over the graph.
    return static_cast<std::size_t>((k * 7919 + options_.seed) % size());
  }
  const auto& list = members_[*category];
  if (list.empty()) return std::nullopt;
  return list[(k * 7919 + options_.seed) % list.size()];
}

}  // namespace pelvaro::sim
