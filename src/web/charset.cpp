#include "web/charset.h"

#include <string>

#include "toolkit/regex_matcher.h"

namespace pelvaro {
namespace {

constexpr std::size_t kSniffLength = 1024;

}  // namespace

Text SniffCharset(std::string_view page) {
  RegexMatcher matcher;
  Text head(page.substr(0, kSniffLength));
  if (!matcher.match("<meta.+?charset=[^\\w]?([-\\w]+)", head, false, true, true)) return {};
  return matcher.matchCount() > 0 ? matcher.submatchText(1, 1) : Text();
}

std::optional<Text> DecodeToLocal(std::string_view bytes, std::string_view charset) {
  std::optional<std::string> decoded =
      ConvertCharset(bytes, "UTF-8", std::string(charset).c_str(), "\xEF\xBF\xBD");
  if (!decoded) return std::nullopt;
  std::string utf8 = std::move(*decoded);
  // A byte-order mark is a marker, not text.
  if (utf8.starts_with("\xEF\xBB\xBF")) utf8.erase(0, 3);
  return Utf8ToGbk(utf8);
}

}  // namespace pelvaro
