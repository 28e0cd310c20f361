#pragma once
// Byte-wise searches over GBK texts for the ASCII markers of HTTP header blocks. Matches start
// only at character boundaries, so a trail byte of a double-byte character never begins one.

#include <string_view>
#include <vector>

#include "platform/text.h"

namespace pelvaro {

inline constexpr std::string_view kCrLf = "\r\n";

// Position of the first match of needle at or after from (a character boundary), ignoring
// ASCII case, or npos.
std::size_t FindNoCase(std::string_view haystack, std::string_view needle, std::size_t from = 0);
inline bool ContainsNoCase(std::string_view haystack, std::string_view needle) {
  return FindNoCase(haystack, needle) != std::string_view::npos;
}
bool EqualsNoCase(std::string_view a, std::string_view b);

// Removes every occurrence of needle (ignoring ASCII case when ignoreCase).
Text RemoveAll(std::string_view text, std::string_view needle, bool ignoreCase);

// The pieces between separators, in order, empty pieces included.
std::vector<std::string_view> SplitAll(std::string_view text, std::string_view separator);

}  // namespace pelvaro
