#include "web/cookies.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "web/text_search.h"

namespace pelvaro {
namespace {

constexpr std::string_view kSeparator = "; ";

void TrimForSplitting(Text& text) {
  text = TrimBlanks(text);
  if (!text.empty() && text.back() == ';') text.push_back(' ');
}

// A trailing empty piece after a final separator is not an item; neither is an empty text.
std::vector<std::string_view> SplitItems(std::string_view text) {
  if (text.empty()) return {};
  auto pieces = SplitAll(text, kSeparator);
  if (pieces.size() > 1 && pieces.back().empty()) pieces.pop_back();
  return pieces;
}

Text ItemName(std::string_view item) { return TrimBlanks(item.substr(0, item.find('='))); }

bool IsDeleted(std::string_view item) {
  return item.size() >= 8 && item.substr(item.size() - 8) == "=deleted";
}

Text JoinItems(const std::vector<std::string_view>& items) {
  Text out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out.append(kSeparator);
    out.append(items[i]);
  }
  return out;
}

}  // namespace

Text MergeCookies(Text& old, Text& fresh) {
  TrimForSplitting(old);
  TrimForSplitting(fresh);
  std::vector<std::string_view> merged = SplitItems(fresh);
  std::vector<Text> mergedNames;
  for (std::string_view item : merged) mergedNames.push_back(ItemName(item));
  for (std::string_view item : SplitItems(old)) {
    Text name = ItemName(item);
    if (std::find(mergedNames.begin(), mergedNames.end(), name) != mergedNames.end()) continue;
    merged.push_back(item);
    mergedNames.push_back(std::move(name));
  }

  Text live;
  for (std::string_view item : merged) {
    if (IsDeleted(item)) continue;
    live.append(item);
    live.append(kSeparator);
  }
  if (live.size() >= kSeparator.size()) live.resize(live.size() - kSeparator.size());

  std::vector<std::string_view> kept;
  for (std::string_view piece : SplitItems(live)) {
    if (std::find(kept.begin(), kept.end(), piece) == kept.end()) kept.push_back(piece);
  }
  Text result = JoinItems(kept);
  old = result;
  return result;
}

void CollectSetCookies(std::string_view headerBlock, Text& cookies) {
  if (!cookies.empty() && !cookies.ends_with(kSeparator)) {
    // A bare "x=1" on entry must not fuse with the first collected cookie.
    cookies.append(kSeparator);
  }
  constexpr std::string_view kMarker = "Set-Cookie:";
  for (std::string_view line : SplitAll(headerBlock, kCrLf)) {
    std::size_t colon = line.find(": ");
    if (colon == std::string_view::npos || line.substr(0, colon) != "Set-Cookie") continue;
    Text cookie;
    if (line.find(';') != std::string_view::npos) {
      std::size_t start = line.find(kMarker) + kMarker.size();
      std::size_t end = line.find(';', start);
      cookie = Text(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    } else {
      cookie = RemoveAll(line, kMarker, true);
    }
    cookies.append(TrimBlanks(cookie));
    cookies.append(kSeparator);
  }
  if (cookies.ends_with(kSeparator)) cookies.resize(cookies.size() - kSeparator.size());
}

}  // namespace pelvaro
