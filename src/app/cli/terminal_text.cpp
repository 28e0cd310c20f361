#include "app/cli/terminal_text.h"

#include "platform/printable_text.h"

namespace pelvaro::cli {

namespace {

bool Wide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) || (c >= 0x20000 && c <= 0x3FFFD);
}

}  // namespace

std::size_t DisplayWidth(std::string_view utf8) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t code = 0;
    const std::size_t length = DecodeUtf8At(utf8, i, code);
    width += length == 0 ? 1 : Wide(code) ? 2 : 1;
    i += length == 0 ? 1 : length;
  }
  return width;
}

std::string FitWidth(std::string_view utf8, std::size_t columns) {
  std::size_t width = 0;
  std::size_t i = 0;
  while (i < utf8.size()) {
    char32_t code = 0;
    std::size_t length = DecodeUtf8At(utf8, i, code);
    const std::size_t w = length == 0 ? 1 : Wide(code) ? 2 : 1;
    if (length == 0) length = 1;
    if (width + w > columns) break;
    width += w;
    i += length;
  }
  return std::string(utf8.substr(0, i));
}

std::string Ellipsize(std::string_view utf8, std::size_t columns) {
  if (DisplayWidth(utf8) <= columns) return std::string(utf8);
  if (columns == 0) return {};
  return FitWidth(utf8, columns - 1) + "…";
}

}  // namespace pelvaro::cli
