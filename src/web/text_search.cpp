#include "web/text_search.h"

namespace pelvaro {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool MatchesAt(std::string_view haystack, std::size_t at, std::string_view needle, bool ignoreCase) {
  if (haystack.size() - at < needle.size()) return false;
  for (std::size_t i = 0; i < needle.size(); ++i) {
    char a = haystack[at + i];
    char b = needle[i];
    if (ignoreCase ? LowerAscii(a) != LowerAscii(b) : a != b) return false;
  }
  return true;
}

// from must be a character boundary (0, or the end of an earlier match).
std::size_t FindFrom(std::string_view haystack, std::string_view needle, std::size_t from, bool ignoreCase) {
  std::size_t i = from;
  while (i < haystack.size()) {
    if (MatchesAt(haystack, i, needle, ignoreCase)) return i;
    i += IsGbkLeadByte(static_cast<unsigned char>(haystack[i])) && i + 1 < haystack.size() ? 2 : 1;
  }
  return needle.empty() && from <= haystack.size() ? from : std::string_view::npos;
}

}  // namespace

std::size_t FindNoCase(std::string_view haystack, std::string_view needle, std::size_t from) {
  return FindFrom(haystack, needle, from, true);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && MatchesAt(a, 0, b, true);
}

Text RemoveAll(std::string_view text, std::string_view needle, bool ignoreCase) {
  if (needle.empty()) return Text(text);
  Text out;
  std::size_t from = 0;
  for (;;) {
    std::size_t at = FindFrom(text, needle, from, ignoreCase);
    if (at == std::string_view::npos) break;
    out.append(text.substr(from, at - from));
    from = at + needle.size();
  }
  out.append(text.substr(from));
  return out;
}

std::vector<std::string_view> SplitAll(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> pieces;
  std::size_t from = 0;
  for (;;) {
    std::size_t at = text.find(separator, from);
    if (at == std::string_view::npos) break;
    pieces.push_back(text.substr(from, at - from));
    from = at + separator.size();
  }
  pieces.push_back(text.substr(from));
  return pieces;
}

}  // namespace pelvaro
