#include "web/response_head.h"

#include <strings.h>

#include <charconv>

namespace pelvaro {
namespace {

std::string_view TrimSpace(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

void ResponseHead::Feed(std::string_view line) {
  line = TrimSpace(line);
  if (line.empty()) return;
  if (line.substr(0, 5) == "HTTP/") {
    headers_.clear();
    status_ = 0;
    auto blank = line.find(' ');
    if (blank != std::string_view::npos) {
      auto code = TrimSpace(line.substr(blank + 1)).substr(0, 3);
      long value = 0;
      auto [end, error] = std::from_chars(code.data(), code.data() + code.size(), value);
      if (error == std::errc() && end == code.data() + code.size()) status_ = value;
    }
    return;
  }
  auto colon = line.find(':');
  if (colon == std::string_view::npos) return;
  headers_.emplace_back(std::string(TrimSpace(line.substr(0, colon))),
                        std::string(TrimSpace(line.substr(colon + 1))));
}

std::optional<std::string> ResponseHead::Find(std::string_view name) const {
  for (const auto& [key, value] : headers_) {
    if (key.size() == name.size() && ::strncasecmp(key.data(), name.data(), name.size()) == 0) {
      return value;
    }
  }
  return std::nullopt;
}

std::optional<long long> ParseHeaderNumber(std::string_view value) {
  value = TrimSpace(value);
  if (value.empty()) return std::nullopt;
  long long number = 0;
  auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (error != std::errc() || end != value.data() + value.size() || number < 0) return std::nullopt;
  return number;
}

std::optional<long long> ContentRangeStart(std::string_view value) {
  value = TrimSpace(value);
  if (value.size() < 6 || ::strncasecmp(value.data(), "bytes", 5) != 0) return std::nullopt;
  value = TrimSpace(value.substr(5));
  auto dash = value.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  return ParseHeaderNumber(value.substr(0, dash));
}

}  // namespace pelvaro
