#include "platform/escapes.h"

namespace pelvaro {

bool AppendShortEscape(std::string& out, char c, std::string_view escaped) {
  static constexpr std::string_view kLetters = "\"\\bfnrt";
  const std::size_t at = kJsonShortEscapes.find(c);
  if (at == std::string_view::npos || escaped.find(c) == std::string_view::npos) return false;
  out += '\\';
  out += kLetters[at];
  return true;
}

void AppendUnicodeEscape(std::string& out, std::uint32_t unit) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(unit >> shift) & 0xF]);
}

}  // namespace pelvaro
