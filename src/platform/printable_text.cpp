#include "platform/printable_text.h"

#include <cstdint>

namespace pelvaro {

std::size_t DecodeUtf8At(std::string_view text, std::size_t i, char32_t& code) {
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

std::string StripControls(std::string_view utf8, Controls controls) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t code = 0;
    const std::size_t length = DecodeUtf8At(utf8, i, code);
    if (length == 0) {
      ++i;
      continue;
    }
    if (code >= 0x20 && code != 0x7F && !(code >= 0x80 && code <= 0x9F)) {
      out.append(utf8.substr(i, length));
    } else if (code == '\t' || controls == Controls::Blanked) {
      out += ' ';
    }
    i += length;
  }
  return out;
}

}  // namespace pelvaro
