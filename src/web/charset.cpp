#include "web/charset.h"

#include <iconv.h>

#include <cerrno>
#include <string>

#include "toolkit/regex_matcher.h"

namespace pelvaro {
namespace {

constexpr std::size_t kSniffLength = 1024;

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (valid()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of input; an undecodable byte becomes U+FFFD and decoding goes on after it.
  std::string Run(std::string_view input) {
    std::string out(input.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    std::size_t used = 0;
    while (inLeft > 0) {
      char* dst = out.data() + used;
      std::size_t outLeft = out.size() - used;
      std::size_t rc = iconv(cd_, &in, &inLeft, &dst, &outLeft);
      used = out.size() - outLeft;
      if (rc != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      ++in;
      --inLeft;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      if (out.size() - used < 3) out.resize(out.size() * 2 + 3);
      out.replace(used, 3, "\xEF\xBF\xBD");
      used += 3;
    }
    out.resize(used + 16);
    char* dst = out.data() + used;
    std::size_t outLeft = out.size() - used;
    iconv(cd_, nullptr, nullptr, &dst, &outLeft);
    used = out.size() - outLeft;
    out.resize(used);
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

Text SniffCharset(std::string_view page) {
  RegexMatcher matcher;
  Text head(page.substr(0, kSniffLength));
  if (!matcher.match("<meta.+?charset=[^\\w]?([-\\w]+)", head, false, true, true)) return {};
  return matcher.matchCount() > 0 ? matcher.submatchText(1, 1) : Text();
}

std::optional<Text> DecodeToLocal(std::string_view bytes, std::string_view charset) {
  Iconv converter("UTF-8", std::string(charset).c_str());
  if (!converter.valid()) return std::nullopt;
  std::string utf8 = converter.Run(bytes);
  // A byte-order mark is a marker, not text.
  if (utf8.starts_with("\xEF\xBB\xBF")) utf8.erase(0, 3);
  return Utf8ToGbk(utf8);
}

}  // namespace pelvaro
