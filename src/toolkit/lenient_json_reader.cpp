#include "toolkit/lenient_json_reader.h"

#include <charconv>
#include <cstdint>
#include <unordered_map>

#include "toolkit/js_number_text.h"

namespace pelvaro {
namespace {

using Json = nlohmann::ordered_json;
using Outcome = LenientJsonReader::Outcome;

// Byte length of the blank (white space or line terminator) at p, or 0.
std::size_t BlankLength(const char* p, const char* end) {
  auto c = static_cast<unsigned char>(*p);
  if (c == ' ' || (c >= '\t' && c <= '\r')) return 1;
  if (c < 0xC2) return 0;
  std::size_t left = static_cast<std::size_t>(end - p);
  auto b1 = left > 1 ? static_cast<unsigned char>(p[1]) : 0;
  auto b2 = left > 2 ? static_cast<unsigned char>(p[2]) : 0;
  if (c == 0xC2 && b1 == 0xA0) return 2;                // U+00A0
  if (c == 0xE1 && b1 == 0x9A && b2 == 0x80) return 3;  // U+1680
  if (c == 0xE2 && b1 == 0x80 && (b2 <= 0x8A || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF) && b2 >= 0x80) {
    return 3;  // U+2000..U+200A, U+2028, U+2029, U+202F
  }
  if (c == 0xE2 && b1 == 0x81 && b2 == 0x9F) return 3;  // U+205F
  if (c == 0xE3 && b1 == 0x80 && b2 == 0x80) return 3;  // U+3000
  if (c == 0xEF && b1 == 0xBB && b2 == 0xBF) return 3;  // U+FEFF
  return 0;
}

bool IsLineTerminatorAt(const char* p, const char* end) {
  if (*p == '\n' || *p == '\r') return true;
  return end - p >= 3 && static_cast<unsigned char>(p[0]) == 0xE2 &&
         static_cast<unsigned char>(p[1]) == 0x80 &&
         (static_cast<unsigned char>(p[2]) == 0xA8 || static_cast<unsigned char>(p[2]) == 0xA9);
}

bool IsIdentifierStart(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$' || c >= 0x80;
}

// Identifier characters: ASCII letters, digits, "_", "$" and every non-ASCII character that
// is not a blank.
bool IsIdentifierPartAt(const char* p, const char* end) {
  auto c = static_cast<unsigned char>(*p);
  if (c >= '0' && c <= '9') return true;
  if (!IsIdentifierStart(c)) return false;
  return c < 0x80 || BlankLength(p, end) == 0;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Appends a code point; surrogates (lone ones included) as their three-byte form.
void AppendCodePoint(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool ReadHex(const char*& p, const char* end, int count, std::uint32_t& value) {
  if (end - p < count) return false;
  value = 0;
  for (int i = 0; i < count; ++i) {
    int h = HexValue(p[i]);
    if (h < 0) return false;
    value = value * 16 + static_cast<std::uint32_t>(h);
  }
  p += count;
  return true;
}

// Reads the string literal at p (its opening quote) into out; returns the position after the
// closing quote, or nullptr when the literal is malformed or unterminated.
const char* ScanString(const char* p, const char* end, std::string& out) {
  const char quote = *p++;
  for (;;) {
    const char* run = p;
    while (p < end && *p != quote && *p != '\\' && *p != '\n' && *p != '\r') ++p;
    out.append(run, p);
    if (p == end || *p == '\n' || *p == '\r') return nullptr;
    if (*p == quote) return p + 1;
    ++p;  // backslash
    if (p == end) return nullptr;
    char c = *p++;
    switch (c) {
      case 'n':
        out.push_back('\n');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 'b':
        out.push_back('\b');
        break;
      case 'f':
        out.push_back('\f');
        break;
      case 'v':
        out.push_back('\v');
        break;
      case '\n':
        break;  // line continuations
      case '\r':
        if (p < end && *p == '\n') ++p;
        break;
      case 'x': {
        std::uint32_t value;
        if (!ReadHex(p, end, 2, value)) return nullptr;
        AppendCodePoint(out, value);
        break;
      }
      case 'u': {
        std::uint32_t value;
        if (!ReadHex(p, end, 4, value)) return nullptr;
        if (value >= 0xD800 && value <= 0xDBFF && end - p >= 6 && p[0] == '\\' && p[1] == 'u') {
          const char* q = p + 2;
          std::uint32_t low;
          if (ReadHex(q, end, 4, low) && low >= 0xDC00 && low <= 0xDFFF) {
            value = 0x10000 + ((value - 0xD800) << 10) + (low - 0xDC00);
            p = q;
          }
        }
        AppendCodePoint(out, value);
        break;
      }
      default:
        if (c >= '0' && c <= '7') {
          // Legacy octal escape: up to three digits, at most 0377.
          std::uint32_t value = static_cast<std::uint32_t>(c - '0');
          int maxMore = c <= '3' ? 2 : 1;
          while (maxMore-- > 0 && p < end && *p >= '0' && *p <= '7')
            value = value * 8 + static_cast<std::uint32_t>(*p++ - '0');
          AppendCodePoint(out, value);
        } else if (IsLineTerminatorAt(p - 1, end)) {
          p += 2;  // U+2028 or U+2029 continues the line
        } else {
          out.push_back(c);  // any other escaped character stands for itself
        }
    }
  }
}

}  // namespace

bool LenientJsonReader::ReadStringLiteral(std::string_view source, std::size_t& pos, std::string& out) {
  if (pos >= source.size() || (source[pos] != '"' && source[pos] != '\'')) return false;
  const char* begin = source.data();
  const char* next = ScanString(begin + pos, begin + source.size(), out);
  if (next == nullptr) return false;
  pos = static_cast<std::size_t>(next - begin);
  return true;
}

Outcome LenientJsonReader::Evaluate(std::string_view source, Json& out) {
  Outcome outcome = ReadWhole(source, out, true, false, false);
  if (outcome != Outcome::kValue || !out.is_string()) return outcome;
  // Evaluating a string runs its content as a program: read that once more.
  std::string program = std::move(out.get_ref<Json::string_t&>());
  return ReadProgram(program, out);
}

Outcome LenientJsonReader::ReadStatementValue(std::string_view source, Json& out) {
  return ReadWhole(source, out, false, true, false);
}

Outcome LenientJsonReader::ReadExpression(std::string_view source, Json& out) {
  return ReadWhole(source, out, false, false, false);
}

Outcome LenientJsonReader::ReadProgram(std::string_view source, Json& out) {
  return ReadWhole(source, out, true, true, true);
}

Outcome LenientJsonReader::ReadWhole(std::string_view source, Json& out, bool emptyIsUndefined,
                                     bool allowSemicolon, bool blockFails) {
  p_ = source.data();
  end_ = p_ + source.size();
  out = nullptr;
  if (!SkipBlanks()) return Outcome::kFailed;
  if (allowSemicolon && p_ < end_ && *p_ == ';') {
    ++p_;
    if (!SkipBlanks()) return Outcome::kFailed;
    return p_ == end_ && emptyIsUndefined ? Outcome::kUndefined : Outcome::kFailed;
  }
  if (p_ == end_) return emptyIsUndefined ? Outcome::kUndefined : Outcome::kFailed;
  if (blockFails && *p_ == '{') return Outcome::kFailed;
  Outcome outcome = ReadValue(out, 0);
  if (outcome == Outcome::kFailed || !SkipBlanks()) return Outcome::kFailed;
  if (allowSemicolon && p_ < end_ && *p_ == ';') {
    ++p_;
    if (!SkipBlanks()) return Outcome::kFailed;
  }
  if (p_ != end_) {
    out = nullptr;
    return Outcome::kFailed;
  }
  return outcome;
}

bool LenientJsonReader::SkipBlanks() {
  while (p_ < end_) {
    if (std::size_t n = BlankLength(p_, end_)) {
      p_ += n;
    } else if (*p_ == '/' && end_ - p_ >= 2 && p_[1] == '/') {
      p_ += 2;
      while (p_ < end_ && !IsLineTerminatorAt(p_, end_)) ++p_;
    } else if (*p_ == '/' && end_ - p_ >= 2 && p_[1] == '*') {
      std::string_view rest(p_ + 2, static_cast<std::size_t>(end_ - p_ - 2));
      std::size_t close = rest.find("*/");
      if (close == std::string_view::npos) return false;
      p_ += 2 + close + 2;
    } else {
      break;
    }
  }
  return true;
}

std::string_view LenientJsonReader::ReadIdentifier() {
  const char* begin = p_;
  if (p_ < end_ && IsIdentifierStart(static_cast<unsigned char>(*p_)) && IsIdentifierPartAt(p_, end_)) {
    ++p_;
    while (p_ < end_ && IsIdentifierPartAt(p_, end_)) ++p_;
  }
  return std::string_view(begin, static_cast<std::size_t>(p_ - begin));
}

Outcome LenientJsonReader::ReadValue(Json& out, int depth) {
  if (p_ == end_) return Outcome::kFailed;
  const char c = *p_;
  switch (c) {
    case '{':
      if (depth >= maxDepth_) return Outcome::kFailed;
      return ReadObject(out, depth + 1) ? Outcome::kValue : Outcome::kFailed;
    case '[':
      if (depth >= maxDepth_) return Outcome::kFailed;
      return ReadArray(out, depth + 1) ? Outcome::kValue : Outcome::kFailed;
    case '"':
    case '\'': {
      out = Json::string_t();
      const char* next = ScanString(p_, end_, out.get_ref<Json::string_t&>());
      if (next == nullptr) return Outcome::kFailed;
      p_ = next;
      return Outcome::kValue;
    }
    case '(': {
      if (depth >= maxDepth_) return Outcome::kFailed;
      ++p_;
      if (!SkipBlanks()) return Outcome::kFailed;
      Outcome inner = ReadValue(out, depth + 1);
      if (inner == Outcome::kFailed || !SkipBlanks() || p_ == end_ || *p_ != ')') return Outcome::kFailed;
      ++p_;
      return inner;
    }
    default:
      break;
  }

  // Numbers, with any chain of unary signs ("--" would be a decrement).
  bool negative = false;
  bool signed_ = false;
  while (p_ < end_ && (*p_ == '-' || *p_ == '+')) {
    char sign = *p_++;
    if (p_ < end_ && *p_ == sign) return Outcome::kFailed;
    negative ^= sign == '-';
    signed_ = true;
    if (!SkipBlanks()) return Outcome::kFailed;
  }
  if (p_ == end_) return Outcome::kFailed;
  double number;
  if ((*p_ >= '0' && *p_ <= '9') || *p_ == '.') {
    if (!ReadNumber(number)) return Outcome::kFailed;
    out = negative ? -number : number;
    return Outcome::kValue;
  }
  std::string_view name = ReadIdentifier();
  if (name == "NaN") {
    out = std::numeric_limits<double>::quiet_NaN();
  } else if (name == "Infinity") {
    out = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
  } else if (signed_) {
    return Outcome::kFailed;
  } else if (name == "true") {
    out = true;
  } else if (name == "false") {
    out = false;
  } else if (name == "null") {
    out = nullptr;
  } else if (name == "undefined") {
    out = nullptr;
    return Outcome::kUndefined;
  } else {
    return Outcome::kFailed;  // any other name would be a reference to an undefined variable
  }
  return Outcome::kValue;
}

bool LenientJsonReader::ReadNumber(double& value) {
  const char* begin = p_;
  auto isDigit = [this](const char* q) { return q < end_ && *q >= '0' && *q <= '9'; };
  // A leading zero followed by digits makes a legacy octal literal when every digit is below 8.
  bool legacyOctal = false;
  const char* digitsEnd = p_ + 1;
  if (*p_ == '0' && isDigit(p_ + 1)) {
    legacyOctal = true;
    for (; isDigit(digitsEnd); ++digitsEnd) {
      if (*digitsEnd > '7') legacyOctal = false;
    }
  }
  if (*p_ == '0' && end_ - p_ >= 2 && (p_[1] == 'x' || p_[1] == 'X')) {
    p_ += 2;
    const char* digits = p_;
    while (p_ < end_ && HexValue(*p_) >= 0) ++p_;
    if (p_ == digits) return false;
    auto result = std::from_chars(digits, p_, value, std::chars_format::hex);
    if (result.ec == std::errc::result_out_of_range) value = std::numeric_limits<double>::infinity();
  } else if (legacyOctal) {
    value = 0;
    for (const char* d = p_ + 1; d < digitsEnd; ++d) value = value * 8 + (*d - '0');
    p_ = digitsEnd;
    if (p_ < end_ && *p_ == '.') return false;
  } else {
    std::uint64_t whole = 0;
    int wholeDigits = 0;
    bool simple = true;
    while (isDigit(p_)) {
      whole = whole * 10 + static_cast<std::uint64_t>(*p_ - '0');
      ++wholeDigits;
      ++p_;
    }
    bool any = wholeDigits > 0;
    if (p_ < end_ && *p_ == '.') {
      simple = false;
      ++p_;
      while (isDigit(p_)) {
        any = true;
        ++p_;
      }
    }
    if (!any) return false;
    if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
      simple = false;
      ++p_;
      if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
      if (!isDigit(p_)) return false;
      while (isDigit(p_)) ++p_;
    }
    if (simple && wholeDigits <= 15) {
      value = static_cast<double>(whole);
    } else {
      auto result = std::from_chars(begin, p_, value);
      if (result.ec == std::errc::result_out_of_range) {
        // Overflow or underflow: which one follows from where the first significant digit stands.
        long magnitude = 0;
        bool seenPoint = false;
        bool seenDigit = false;
        const char* q = begin;
        for (; q < p_ && *q != 'e' && *q != 'E'; ++q) {
          if (*q == '.') {
            seenPoint = true;
          } else if (*q != '0' || seenDigit) {
            seenDigit = true;
            if (!seenPoint) ++magnitude;
          } else if (seenPoint) {
            --magnitude;
          }
        }
        if (q < p_) {
          long exponent = 0;
          bool negativeExponent = q[1] == '-';
          for (const char* d = q + 1; d < p_; ++d) {
            if (*d >= '0' && *d <= '9' && exponent < 100000000) exponent = exponent * 10 + (*d - '0');
          }
          magnitude += negativeExponent ? -exponent : exponent;
        }
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
      } else if (result.ptr != p_) {
        return false;
      }
    }
  }
  // "3in" or "1x" are not numbers followed by something else: they are syntax errors.
  if (p_ < end_ && IsIdentifierPartAt(p_, end_)) return false;
  return true;
}

bool LenientJsonReader::ReadMemberName(std::string& name) {
  const char c = *p_;
  if (c == '"' || c == '\'') {
    const char* next = ScanString(p_, end_, name);
    if (next == nullptr) return false;
    p_ = next;
    return true;
  }
  if ((c >= '0' && c <= '9') || c == '.') {
    double number;
    if (!ReadNumber(number)) return false;
    name = JsNumberText(number);
    return true;
  }
  std::string_view identifier = ReadIdentifier();
  if (identifier.empty()) return false;
  name.assign(identifier);
  return true;
}

bool LenientJsonReader::ReadObject(Json& out, int depth) {
  ++p_;  // "{"
  while (static_cast<int>(scratch_.size()) <= depth) scratch_.emplace_back();
  Members& members = scratch_[static_cast<std::size_t>(depth)];
  members.clear();
  for (;;) {
    if (!SkipBlanks() || p_ == end_) return false;
    if (*p_ == '}') {
      ++p_;
      break;
    }
    members.emplace_back();
    if (!ReadMemberName(members.back().first) || !SkipBlanks() || p_ == end_ || *p_ != ':') return false;
    ++p_;
    if (!SkipBlanks() || ReadValue(members.back().second, depth) == Outcome::kFailed) return false;
    if (!SkipBlanks() || p_ == end_) return false;
    if (*p_ == ',') {
      ++p_;
    } else if (*p_ == '}') {
      ++p_;
      break;
    } else {
      return false;
    }
  }

  // A repeated name keeps its first position and takes the later value.
  const std::size_t n = members.size();
  dropped_.assign(n, 0);
  std::size_t kept = n;
  if (n > 1 && n <= 16) {
    for (std::size_t i = 1; i < n; ++i) {
      for (std::size_t j = 0; j < i; ++j) {
        if (!dropped_[j] && members[j].first == members[i].first) {
          members[j].second = std::move(members[i].second);
          dropped_[i] = 1;
          --kept;
          break;
        }
      }
    }
  } else if (n > 16) {
    std::unordered_map<std::string_view, std::size_t> first;
    first.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
      auto [it, inserted] = first.emplace(members[i].first, i);
      if (!inserted) {
        members[it->second].second = std::move(members[i].second);
        dropped_[i] = 1;
        --kept;
      }
    }
  }

  out = Json::object();
  auto& object = out.get_ref<Json::object_t&>();
  // Reserve first: growing a vector of (const name, value) pairs would copy every value.
  object.reserve(kept);
  for (std::size_t i = 0; i < n; ++i) {
    if (!dropped_[i]) object.emplace_back(std::move(members[i].first), std::move(members[i].second));
  }
  members.clear();
  return true;
}

bool LenientJsonReader::ReadArray(Json& out, int depth) {
  ++p_;  // "["
  out = Json::array();
  auto& array = out.get_ref<Json::array_t&>();
  for (;;) {
    if (!SkipBlanks() || p_ == end_) return false;
    if (*p_ == ']') {
      ++p_;
      return true;
    }
    if (*p_ == ',') {  // a hole reads as an empty element
      ++p_;
      array.emplace_back();
      continue;
    }
    array.emplace_back();
    if (ReadValue(array.back(), depth) == Outcome::kFailed) return false;
    if (!SkipBlanks() || p_ == end_) return false;
    if (*p_ == ',') {
      ++p_;
    } else if (*p_ != ']') {
      return false;
    }
  }
}

}  // namespace pelvaro
