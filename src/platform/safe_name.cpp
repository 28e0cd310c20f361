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
  while (!safe.empty() && GbkToUtf8(safe).size() > budget) {
    std::size_t keep = GbkPrefix(safe, safe.size() - 1).size();
    safe.resize(keep);
  }
  if (safe.empty() || safe == "." || safe == "..") return "_";
  return safe;
}

}  // namespace pelvaro
