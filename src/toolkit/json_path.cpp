#include "toolkit/json_path.h"

#include <charconv>

#include "toolkit/lenient_json_reader.h"

namespace pelvaro {
namespace {

bool IsNameStart(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$' || c >= 0x80;
}

bool IsNamePart(unsigned char c) { return IsNameStart(c) || (c >= '0' && c <= '9'); }

// Indexes beyond this cannot be exact doubles, which is what a script would index with.
constexpr std::uint64_t kMaxIndex = (std::uint64_t{1} << 53) - 1;

}  // namespace

void PathCursor::SkipSpaces() {
  while (pos_ < path_.size() && (path_[pos_] == ' ' || path_[pos_] == '\t')) ++pos_;
}

bool PathCursor::ReadName(std::string& name) {
  SkipSpaces();
  std::size_t begin = pos_;
  if (pos_ >= path_.size() || !IsNameStart(static_cast<unsigned char>(path_[pos_]))) return Fail();
  while (pos_ < path_.size() && IsNamePart(static_cast<unsigned char>(path_[pos_]))) ++pos_;
  name.assign(path_.substr(begin, pos_ - begin));
  return true;
}

bool PathCursor::Next(PathSelector& selector) {
  if (failed_) return false;
  if (leadingName_) {
    leadingName_ = false;
    if (path_.empty()) return false;
    if (path_[0] != '[') {
      selector.isIndex = false;
      return ReadName(selector.name);
    }
  }
  SkipSpaces();
  if (pos_ == path_.size()) return false;
  const char c = path_[pos_++];
  if (c == '.') {
    selector.isIndex = false;
    return ReadName(selector.name);
  }
  if (c != '[') return Fail();
  SkipSpaces();
  if (pos_ == path_.size()) return Fail();
  if (path_[pos_] == '"' || path_[pos_] == '\'') {
    selector.isIndex = false;
    selector.name.clear();
    if (!LenientJsonReader::ReadStringLiteral(path_, pos_, selector.name)) return Fail();
  } else {
    std::size_t begin = pos_;
    while (pos_ < path_.size() && path_[pos_] >= '0' && path_[pos_] <= '9') ++pos_;
    std::string_view digits = path_.substr(begin, pos_ - begin);
    if (digits.empty()) return Fail();
    // A leading zero makes a legacy octal number when every digit is below 8.
    int base = 10;
    if (digits.size() > 1 && digits[0] == '0' && digits.find_first_of("89") == std::string_view::npos) {
      base = 8;
    }
    std::uint64_t index = 0;
    auto result = std::from_chars(digits.data(), digits.data() + digits.size(), index, base);
    if (result.ec != std::errc() || index > kMaxIndex) return Fail();
    selector.isIndex = true;
    selector.index = index;
    selector.name = std::to_string(index);
  }
  SkipSpaces();
  if (pos_ == path_.size() || path_[pos_] != ']') return Fail();
  ++pos_;
  return true;
}

}  // namespace pelvaro
