#include "toolkit/encoding.h"

#include <openssl/evp.h>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace pelvaro {

std::string Utf8FromLocal(std::string_view gbk) { return GbkToUtf8(gbk); }

Text PercentEncode(std::string_view text, bool keepUnreserved, bool utf8First) {
  if (text.empty()) return {};
  std::string bytes = utf8First ? Utf8FromLocal(text) : std::string(text);
  static constexpr char kHex[] = "0123456789ABCDEF";
  Text out;
  out.reserve(bytes.size() * 3);
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    bool unreserved = c == '-' || c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                      (c >= 'a' && c <= 'z');
    if (keepUnreserved && unreserved) {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    }
  }
  return out;
}

Text UrlComponentId(std::string_view gbk) {
  const auto plain = [](unsigned char c) {
    return c == '_' || c == '-' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  };
  static constexpr char kHex[] = "0123456789ABCDEF";
  Text out;
  for (unsigned char c : Utf8FromLocal(gbk)) {
    if (plain(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    }
  }
  return out;
}

Text UnixTimestamp(bool inSeconds) {
  auto now = std::chrono::system_clock::now();
  auto sinceEpoch = now.time_since_epoch();
  std::time_t seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch).count();
  auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000;

  // Seconds between local 1970-01-01 08:00:00 and the local date-time now, both read as
  // calendar values, so the local zone's offset shows up exactly as the service expects.
  std::tm local{};
  localtime_r(&seconds, &local);
  std::tm base{};
  base.tm_year = 70;
  base.tm_mon = 0;
  base.tm_mday = 1;
  base.tm_hour = 8;
  std::tm nowCopy = local;
  long long difference = static_cast<long long>(timegm(&nowCopy)) - static_cast<long long>(timegm(&base));

  char digits[32];
  std::snprintf(digits, sizeof digits, "%lld%03lld", difference, static_cast<long long>(millis));
  Text text = digits;
  if (inSeconds) {
    if (text.size() > 10) text.resize(10);
    while (text.size() < 10) text.push_back('0');
  } else {
    while (text.size() < 13) text.push_back('0');
  }
  return text;
}

Text Md5Hex(std::string_view bytes, bool upperCase, bool middle16) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1 || length != 16) {
    return {};
  }
  static constexpr char kUpper[] = "0123456789ABCDEF";
  static constexpr char kLower[] = "0123456789abcdef";
  const char* hex = upperCase ? kUpper : kLower;
  Text out;
  out.reserve(32);
  for (unsigned int i = 0; i < length; ++i) {
    out.push_back(hex[digest[i] >> 4]);
    out.push_back(hex[digest[i] & 0x0F]);
  }
  return middle16 ? out.substr(8, 16) : out;
}

Text Md5HexOfText(std::string_view text, bool utf8First, bool upperCase, bool middle16) {
  return utf8First ? Md5Hex(Utf8FromLocal(text), upperCase, middle16) : Md5Hex(text, upperCase, middle16);
}

Text SignLineFor(std::string_view timestamp) {
  Text salted(kSignatureSalt);
  salted += timestamp;
  return "sign:" + Md5HexOfText(salted) + "@" + Text(timestamp);
}

Text SignLine() { return SignLineFor(UnixTimestamp(true)); }

Text Base64Encode(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  Text out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    unsigned value = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                     static_cast<unsigned char>(bytes[i + 2]);
    out.push_back(kAlphabet[(value >> 18) & 63]);
    out.push_back(kAlphabet[(value >> 12) & 63]);
    out.push_back(kAlphabet[(value >> 6) & 63]);
    out.push_back(kAlphabet[value & 63]);
  }
  std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned value = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) value |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out.push_back(kAlphabet[(value >> 18) & 63]);
    out.push_back(kAlphabet[(value >> 12) & 63]);
    out.push_back(rest == 2 ? kAlphabet[(value >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

}  // namespace pelvaro
