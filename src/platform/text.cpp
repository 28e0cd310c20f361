#include "platform/text.h"

#include <iconv.h>

#include <cerrno>
#include <limits>
#include <memory>

namespace pelvaro {
namespace {

// Windows' code page 936 is glibc's CP936 (GBK plus the euro sign at 80h).
constexpr const char* kGbkName = "CP936";

// The skip unit of a GBK source: a whole double-byte character at a time.
constexpr std::size_t kGbkUnit = 3;

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts input; a sequence that cannot be converted is skipped (skipUnit bytes at a
  // time, or the whole character when known) and replaced by `replacement`.
  std::string Run(std::string_view input, std::string_view replacement, std::size_t skipUnit) {
    std::string out;
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return out;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out.resize(input.size() * 4 + 16);
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    std::size_t used = 0;
    while (inLeft > 0) {
      char* dst = out.data() + used;
      std::size_t outLeft = out.size() - used;
      std::size_t rc = iconv(cd_, &in, &inLeft, &dst, &outLeft);
      used = out.size() - outLeft;
      if (rc != static_cast<std::size_t>(-1)) break;
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      // EILSEQ or EINVAL: an unconvertible or truncated sequence.
      std::size_t skip = std::min(inLeft, SequenceLength(in, inLeft, skipUnit));
      in += skip;
      inLeft -= skip;
      if (out.size() - used < replacement.size()) out.resize(out.size() * 2 + replacement.size());
      out.replace(used, replacement.size(), replacement);
      used += replacement.size();
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    char* dst = out.data() + used;
    std::size_t outLeft = out.size() - used;
    iconv(cd_, nullptr, nullptr, &dst, &outLeft);
    used = out.size() - outLeft;
    out.resize(used);
    return out;
  }

 private:
  static std::size_t SequenceLength(const char* p, std::size_t left, std::size_t unit) {
    if (unit == kGbkUnit) {
      // A lead and a trail byte without a mapping are one unknown character, as Windows reads
      // them: one replacement, and the trail byte never starts a character of its own.
      const auto lead = static_cast<unsigned char>(p[0]);
      const auto trail = left >= 2 ? static_cast<unsigned char>(p[1]) : 0;
      return IsGbkLeadByte(lead) && trail >= 0x40 && trail <= 0xFE && trail != 0x7F ? 2 : 1;
    }
    if (unit == 2 && left >= 4) {
      // UTF-16LE input: a surrogate pair is one character.
      auto high = static_cast<unsigned char>(p[1]);
      auto nextHigh = static_cast<unsigned char>(p[3]);
      if (high >= 0xD8 && high <= 0xDB && nextHigh >= 0xDC && nextHigh <= 0xDF) return 4;
    }
    if (unit != 0) return unit;
    // UTF-8 input: skip one whole character.
    auto c = static_cast<unsigned char>(p[0]);
    std::size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    for (std::size_t i = 1; i < n; ++i) {
      if (i >= left || (static_cast<unsigned char>(p[i]) & 0xC0) != 0x80) return i;
    }
    return n;
  }

  iconv_t cd_;
};

Converter& ConverterFor(int which) {
  // One converter per direction and thread: iconv descriptors carry state.
  thread_local std::unique_ptr<Converter> converters[6];
  static constexpr const char* kPairs[6][2] = {
      {kGbkName, "UTF-8"},    {"UTF-8", kGbkName},   {"UTF-16LE", kGbkName},
      {kGbkName, "UTF-16LE"}, {"UTF-16LE", "UTF-8"}, {"UTF-8", "UTF-16LE"},
  };
  auto& slot = converters[which];
  if (!slot) slot = std::make_unique<Converter>(kPairs[which][0], kPairs[which][1]);
  return *slot;
}

std::u16string FromUtf16Bytes(const std::string& bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return out;
}

std::string ToUtf16Bytes(std::u16string_view text) {
  std::string out(text.size() * 2, '\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[2 * i] = static_cast<char>(text[i] & 0xFF);
    out[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return out;
}

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> ConvertCharset(std::string_view input, const char* to, const char* from,
                                          std::string_view replacement) {
  Converter converter(to, from);
  if (!converter.Valid()) return std::nullopt;
  // A multi-byte source skips one byte per bad sequence; UTF-8 skips one whole character.
  return converter.Run(input, replacement, std::string_view(from) == "UTF-8" ? 0 : 1);
}

Text Utf8ToGbk(std::string_view utf8) {
  if (IsAscii(utf8)) return Text(utf8);
  return ConverterFor(0).Run(utf8, "?", 0);
}

Text Gbk(std::string_view utf8) { return Utf8ToGbk(utf8); }

std::string GbkToUtf8(std::string_view gbk) {
  if (IsAscii(gbk)) return std::string(gbk);
  return ConverterFor(1).Run(gbk, "?", kGbkUnit);
}

std::u16string GbkToUtf16(std::string_view gbk) {
  return FromUtf16Bytes(ConverterFor(2).Run(gbk, std::string_view("?\0", 2), kGbkUnit));
}

Text Utf16ToGbk(std::u16string_view utf16) {
  return ConverterFor(3).Run(ToUtf16Bytes(utf16), "?", 2);
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  return FromUtf16Bytes(ConverterFor(4).Run(utf8, std::string_view("\xFD\xFF", 2), 0));
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  return ConverterFor(5).Run(ToUtf16Bytes(utf16), "\xEF\xBF\xBD", 2);
}

std::size_t Utf8CharLength(std::string_view bytes) {
  if (bytes.empty()) return 0;
  const auto c = static_cast<unsigned char>(bytes[0]);
  if (c < 0x80) return 1;
  std::size_t n = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;  // the range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) low = 0xA0;   // no overlong form
    if (c == 0xED) high = 0x9F;  // no surrogate
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (bytes.size() < n) return 0;
  const auto second = static_cast<unsigned char>(bytes[1]);
  if (second < low || second > high) return 0;
  for (std::size_t i = 2; i < n; ++i) {
    if ((static_cast<unsigned char>(bytes[i]) & 0xC0) != 0x80) return 0;
  }
  return n;
}

bool IsUtf8(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t n = Utf8CharLength(bytes.substr(i));
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string RemoveBlanksUtf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == ' ') continue;
    if (utf8.substr(i, 3) == "\xE3\x80\x80") {  // U+3000, the ideographic space
      i += 2;
      continue;
    }
    out.push_back(utf8[i]);
  }
  return out;
}

std::string ValidUtf8(std::string_view bytes) {
  if (IsUtf8(bytes)) return std::string(bytes);
  return ConvertCharset(bytes, "UTF-8", "UTF-8", "?").value_or(std::string());
}

std::string_view GbkPrefix(std::string_view gbk, std::size_t maxBytes) {
  std::size_t i = 0;
  while (i < gbk.size()) {
    std::size_t n = IsGbkLeadByte(static_cast<unsigned char>(gbk[i])) && i + 1 < gbk.size() ? 2 : 1;
    if (i + n > maxBytes) break;
    i += n;
  }
  return gbk.substr(0, i);
}

Text FoldFullWidth(std::string_view gbk) {
  Text out;
  out.reserve(gbk.size());
  for (std::size_t i = 0; i < gbk.size(); ++i) {
    auto c = static_cast<unsigned char>(gbk[i]);
    if (IsGbkLeadByte(c) && i + 1 < gbk.size()) {
      auto d = static_cast<unsigned char>(gbk[i + 1]);
      if (c == 0xA3 && d >= 0xA1 && d <= 0xFE) {
        out.push_back(static_cast<char>(d - 0x80));  // A3A1..A3FE are "!".."~"
      } else if (c == 0xA1 && d == 0xA1) {
        out.push_back(' ');
      } else {
        out.push_back(static_cast<char>(c));
        out.push_back(static_cast<char>(d));
      }
      ++i;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

std::int64_t ReadLenientInt(std::string_view gbk) {
  Text folded = FoldFullWidth(gbk);
  std::size_t i = 0;
  while (i < folded.size() && (folded[i] == ' ' || folded[i] == '\t')) ++i;
  bool negative = false;
  if (i < folded.size() && (folded[i] == '+' || folded[i] == '-')) {
    negative = folded[i] == '-';
    ++i;
  }
  std::uint64_t value = 0;
  constexpr std::uint64_t kLimit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  // The magnitude stops at the limit of the sign's side before it could pass it: more digits
  // saturate instead of wrapping around.
  const std::uint64_t limit = kLimit + (negative ? 1 : 0);
  for (; i < folded.size() && folded[i] >= '0' && folded[i] <= '9'; ++i) {
    const auto digit = static_cast<std::uint64_t>(folded[i] - '0');
    if (value > (limit - digit) / 10) {
      value = limit;
      break;
    }
    value = value * 10 + digit;
  }
  if (negative) {
    return value > kLimit ? std::numeric_limits<std::int64_t>::min() : -static_cast<std::int64_t>(value);
  }
  return static_cast<std::int64_t>(value);
}

Text RemoveBlanks(std::string_view gbk) {
  Text out;
  out.reserve(gbk.size());
  for (std::size_t i = 0; i < gbk.size(); ++i) {
    auto c = static_cast<unsigned char>(gbk[i]);
    if (c == ' ') continue;
    if (IsGbkLeadByte(c) && i + 1 < gbk.size()) {
      if (!(c == 0xA1 && static_cast<unsigned char>(gbk[i + 1]) == 0xA1)) {
        out.push_back(gbk[i]);
        out.push_back(gbk[i + 1]);
      }
      ++i;
      continue;
    }
    out.push_back(gbk[i]);
  }
  return out;
}

Text TrimBlanks(std::string_view gbk) {
  std::size_t begin = 0;
  std::size_t end = gbk.size();
  for (;;) {
    if (begin < end && gbk[begin] == ' ') {
      ++begin;
    } else if (begin + 1 < end && gbk.substr(begin, 2) == "\xA1\xA1") {
      begin += 2;
    } else {
      break;
    }
  }
  for (;;) {
    if (end > begin && gbk[end - 1] == ' ') {
      --end;
    } else if (end >= begin + 2 && gbk.substr(end - 2, 2) == "\xA1\xA1" &&
               GbkPrefix(gbk.substr(begin, end - begin), end - begin - 2).size() == end - begin - 2) {
      end -= 2;
    } else {
      break;
    }
  }
  return Text(gbk.substr(begin, end - begin));
}

}  // namespace pelvaro
