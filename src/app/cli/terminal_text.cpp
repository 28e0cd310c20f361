#include "app/cli/terminal_text.h"

#include <cstdint>

namespace pelvaro::cli {

namespace {

// The length of the UTF-8 sequence at text[i] and its code point; 0 for an invalid one.
std::size_t Decode(std::string_view text, std::size_t i, char32_t& code) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
  const std::uint8_t lead = byte(i);
  std::size_t length = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

bool Wide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) || (c >= 0x20000 && c <= 0x3FFFD);
}

}  // namespace

std::string StripControls(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t code = 0;
    const std::size_t length = Decode(utf8, i, code);
    if (length == 0) {
      ++i;
      continue;
    }
    if (code == '\t') {
      out += ' ';
    } else if (code >= 0x20 && code != 0x7F && !(code >= 0x80 && code <= 0x9F)) {
      out.append(utf8.substr(i, length));
    }
    i += length;
  }
  return out;
}

std::size_t DisplayWidth(std::string_view utf8) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t code = 0;
    const std::size_t length = Decode(utf8, i, code);
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
    std::size_t length = Decode(utf8, i, code);
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
