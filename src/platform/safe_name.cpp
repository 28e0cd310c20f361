#include "platform/safe_name.h"

#include <algorithm>
#include <string>

namespace pelvaro {
namespace {

constexpr std::size_t kNameMax = 255;

bool UnsafeAscii(unsigned char c) {
  return c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
         c == '<' || c == '>' || c == '|';
}

}  // namespace

Path SafeName(std::string_view utf8, std::size_t reservedBytes) {
  const std::size_t budget = reservedBytes < kNameMax ? kNameMax - reservedBytes : 1;
  std::string safe;
  safe.reserve(std::min(utf8.size(), budget));
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::size_t n = Utf8CharLength(utf8.substr(i));
    const auto c = static_cast<unsigned char>(utf8[i]);
    // C1 controls (U+0080 to U+009F) are control characters too.
    const bool control = n == 2 && c == 0xC2 && static_cast<unsigned char>(utf8[i + 1]) < 0xA0;
    const bool replaced = n == 0 || (n == 1 && UnsafeAscii(c)) || control;
    const std::size_t width = replaced ? 1 : n;
    // The name as stored is what counts: the cut falls before the first character past it.
    if (safe.size() + width > budget) break;
    if (replaced) {
      safe.push_back('_');
    } else {
      safe.append(utf8.substr(i, n));
    }
    i += n == 0 ? 1 : n;
  }
  if (safe.empty() || safe == "." || safe == "..") safe.assign(1, '_');
  return Path(std::move(safe));
}

Path SafeNameOfGbk(const Text& gbk, std::size_t reservedBytes) {
  return SafeName(GbkToUtf8(gbk), reservedBytes);
}

}  // namespace pelvaro
