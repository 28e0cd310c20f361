#include "toolkit/script_value_text.h"

#include <cmath>
#include <cstdint>

#include "platform/escapes.h"
#include "toolkit/js_number_text.h"

namespace pelvaro {
namespace {

using Json = nlohmann::ordered_json;

// The characters json2 writes as "\u" escapes beyond the ASCII controls.
bool Json2Escapes(std::uint32_t cp) {
  return (cp >= 0x7F && cp <= 0x9F) || cp == 0xAD || (cp >= 0x600 && cp <= 0x604) || cp == 0x70F ||
         cp == 0x17B4 || cp == 0x17B5 || (cp >= 0x200C && cp <= 0x200F) || (cp >= 0x2028 && cp <= 0x202F) ||
         (cp >= 0x2060 && cp <= 0x206F) || cp == 0xFEFF || (cp >= 0xFFF0 && cp <= 0xFFFF);
}

void AppendQuoted(std::string& out, const std::string& text) {
  out.push_back('"');
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      std::size_t run = i + 1;
      while (run < n) {
        auto d = static_cast<unsigned char>(text[run]);
        if (d < 0x20 || d >= 0x7F || d == '"' || d == '\\') break;
        ++run;
      }
      out.append(text, i, run - i);
      i = run;
      continue;
    }
    if (c < 0x80) {
      if (!AppendShortEscape(out, static_cast<char>(c), kJsonShortEscapes)) AppendUnicodeEscape(out, c);
      ++i;
      continue;
    }
    std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (i + length > n) length = n - i;
    std::uint32_t cp = length == 1 ? c : c & (0x3F >> (length - 1));
    for (std::size_t k = 1; k < length; ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    if (length > 1 && Json2Escapes(cp)) {
      AppendUnicodeEscape(out, cp);
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  out.push_back('"');
}

void AppendPlain(std::string& out, const Json& value) {
  switch (value.type()) {
    case Json::value_t::object:
      out += "[object Object]";
      break;
    case Json::value_t::array: {
      bool first = true;
      for (const auto& element : value.get_ref<const Json::array_t&>()) {
        if (!first) out.push_back(',');
        first = false;
        AppendPlain(out, element);
      }
      break;
    }
    case Json::value_t::string:
      out += value.get_ref<const Json::string_t&>();
      break;
    case Json::value_t::boolean:
      out += value.get<bool>() ? "true" : "false";
      break;
    case Json::value_t::number_float:
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
      out += JsNumberText(value.get<double>());
      break;
    default:
      break;
  }
}

void AppendJson(std::string& out, const Json& value) {
  switch (value.type()) {
    case Json::value_t::object: {
      out.push_back('{');
      bool first = true;
      for (const auto& [name, member] : value.get_ref<const Json::object_t&>()) {
        if (!first) out.push_back(',');
        first = false;
        AppendQuoted(out, name);
        out.push_back(':');
        AppendJson(out, member);
      }
      out.push_back('}');
      break;
    }
    case Json::value_t::array: {
      out.push_back('[');
      bool first = true;
      for (const auto& element : value.get_ref<const Json::array_t&>()) {
        if (!first) out.push_back(',');
        first = false;
        AppendJson(out, element);
      }
      out.push_back(']');
      break;
    }
    case Json::value_t::string:
      AppendQuoted(out, value.get_ref<const Json::string_t&>());
      break;
    case Json::value_t::boolean:
    case Json::value_t::number_float:
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
      // A scalar is written as it converts, but for the numbers JSON has no form for.
      if (value.is_number() && !std::isfinite(value.get<double>())) {
        out += "null";
      } else {
        AppendPlain(out, value);
      }
      break;
    default:
      out += "null";
  }
}

}  // namespace

std::string ScriptJsonText(const Json& value) {
  std::string out;
  AppendJson(out, value);
  return out;
}

std::string ScriptPlainText(const Json& value) {
  std::string out;
  AppendPlain(out, value);
  return out;
}

void RestoreBackslashes(std::string& text) {
  std::size_t at = text.find(kBackslashPlaceholder);
  if (at == std::string::npos) return;
  std::string out;
  out.reserve(text.size());
  std::size_t from = 0;
  do {
    out.append(text, from, at - from);
    out.push_back('\\');
    from = at + kBackslashPlaceholder.size();
    at = text.find(kBackslashPlaceholder, from);
  } while (at != std::string::npos);
  out.append(text, from);
  text = std::move(out);
}

}  // namespace pelvaro
