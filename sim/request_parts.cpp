#include "sim/request_parts.h"

#include <cctype>
#include <charconv>

#include "toolkit/encoding.h"

namespace pelvaro::sim {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ReadNumber(std::string_view text, std::uint64_t& value) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else if (c == '+') {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

std::string PercentEncodePath(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) != 0 || c == '_' || c == '-') {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> ParseQuery(std::string_view target) {
  std::vector<std::pair<std::string, std::string>> query;
  auto mark = target.find('?');
  if (mark == std::string_view::npos) return query;
  std::string_view rest = target.substr(mark + 1);
  auto hash = rest.find('#');
  if (hash != std::string_view::npos) rest = rest.substr(0, hash);
  while (!rest.empty()) {
    auto amp = rest.find('&');
    std::string_view item = rest.substr(0, amp);
    if (!item.empty()) {
      auto eq = item.find('=');
      if (eq == std::string_view::npos) {
        query.emplace_back(PercentDecode(item), std::string());
      } else {
        query.emplace_back(PercentDecode(item.substr(0, eq)), PercentDecode(item.substr(eq + 1)));
      }
    }
    if (amp == std::string_view::npos) break;
    rest = rest.substr(amp + 1);
  }
  return query;
}

std::optional<std::string> QueryValue(const std::vector<std::pair<std::string, std::string>>& query,
                                      std::string_view key) {
  for (const auto& [k, v] : query) {
    if (k == key) return v;
  }
  return std::nullopt;
}

bool SignValueValid(std::string_view value) {
  value = Trim(value);
  auto at = value.rfind('@');
  if (at == std::string_view::npos) return false;
  std::string_view timestamp = value.substr(at + 1);
  std::uint64_t ignored = 0;
  if (!ReadNumber(timestamp, ignored)) return false;
  return SignLineFor(timestamp) == "sign:" + std::string(value);
}

RangeKind ParseRange(std::string_view header, std::uint64_t size, ByteRange& range) {
  header = Trim(header);
  constexpr std::string_view kUnit = "bytes=";
  if (header.size() < kUnit.size()) return RangeKind::None;
  for (std::size_t i = 0; i < kUnit.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(header[i])) != kUnit[i]) return RangeKind::None;
  }
  std::string_view range_set = Trim(header.substr(kUnit.size()));
  if (range_set.find(',') != std::string_view::npos) return RangeKind::None;
  auto dash = range_set.find('-');
  if (dash == std::string_view::npos) return RangeKind::None;
  std::string_view first_text = Trim(range_set.substr(0, dash));
  std::string_view last_text = Trim(range_set.substr(dash + 1));
  std::uint64_t first = 0, last = 0;
  if (first_text.empty()) {
    // A suffix range: the last n bytes.
    if (!ReadNumber(last_text, last)) return RangeKind::None;
    if (last == 0 || size == 0) return RangeKind::Unsatisfiable;
    range.length = std::min(last, size);
    range.first = size - range.length;
    return RangeKind::Satisfiable;
  }
  if (!ReadNumber(first_text, first)) return RangeKind::None;
  if (last_text.empty()) {
    last = size == 0 ? 0 : size - 1;
  } else if (!ReadNumber(last_text, last) || last < first) {
    return RangeKind::None;
  }
  if (first >= size) return RangeKind::Unsatisfiable;
  last = std::min(last, size - 1);
  range.first = first;
  range.length = last - first + 1;
  return RangeKind::Satisfiable;
}

}  // namespace pelvaro::sim
