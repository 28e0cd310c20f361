#include "platform/safe_name.h"

#include <string_view>

namespace pelvaro {
namespace {

constexpr std::size_t kNameMax = 255;

bool Unsafe(unsigned char c) {
  return c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
         c == '<' || c == '>' || c == '|';
}

}  // namespace

Text SafeFileName(const Text& name, std::size_t reservedBytes) {
  Text safe;
  safe.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    auto c = static_cast<unsigned char>(name[i]);
    auto next = i + 1 < name.size() ? static_cast<unsigned char>(name[i + 1]) : 0;
    if (IsGbkLeadByte(c) && next >= 0x40 && next != 0x7F && next != 0xFF) {
      // The trail byte of a double-byte character may be "\" or "|" and is part of it.
      safe.push_back(name[i]);
      safe.push_back(name[i + 1]);
      ++i;
    } else {
      safe.push_back(Unsafe(c) || c >= 0x80 ? '_' : static_cast<char>(c));
    }
  }
  // Cut whole GBK characters until the UTF-8 form fits beside the reserved suffix.
  std::size_t budget = reservedBytes < kNameMax ? kNameMax - reservedBytes : 1;
  // A character takes at least as many bytes in UTF-8 as in GBK, so nothing past the budget in
  // GBK bytes can fit. The rest is converted once and walked character by character beside its
  // UTF-8 form (one character for one), so a title of any size costs linear time.
  if (safe.size() > budget) safe.resize(GbkPrefix(safe, budget).size());
  const std::string utf8 = GbkToUtf8(safe);
  if (utf8.size() > budget) {
    std::size_t gbk = 0;
    std::size_t used = 0;
    std::size_t u = 0;
    while (gbk < safe.size() && u < utf8.size()) {
      const auto lead = static_cast<unsigned char>(utf8[u]);
      const std::size_t width = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
      if (used + width > budget) break;
      used += width;
      u += width;
      gbk += IsGbkLeadByte(static_cast<unsigned char>(safe[gbk])) && gbk + 1 < safe.size() ? 2 : 1;
    }
    safe.resize(gbk);
  }
  if (safe.empty() || safe == "." || safe == "..") return "_";
  return safe;
}

}  // namespace pelvaro
