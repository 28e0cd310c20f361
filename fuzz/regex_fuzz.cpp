// Input: one byte of flags, then pattern, subject and replacement separated by NUL bytes.
// Checks that every match and group text is the subject's own bytes at the reported
// position, starting on a character boundary, and that failures leave nothing behind.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "toolkit/regex_matcher.h"

namespace {

using pelvaro::RegexMatcher;
using pelvaro::Text;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Offsets where a character of the subject starts, as the matcher splits GBK: a lead byte
// and a valid trail byte form one character, any other byte stands alone.
std::vector<bool> CharacterStarts(const Text& s) {
  std::vector<bool> starts(s.size() + 1, false);
  std::size_t i = 0;
  while (i < s.size()) {
    starts[i] = true;
    auto lead = static_cast<unsigned char>(s[i]);
    auto trail = i + 1 < s.size() ? static_cast<unsigned char>(s[i + 1]) : 0;
    bool pair = pelvaro::IsGbkLeadByte(lead) && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
    i += pair ? 2 : 1;
  }
  starts[s.size()] = true;
  return starts;
}

void CheckPart(const Text& subject, const std::vector<bool>& starts, const Text& text, int position) {
  Check(position >= 0 && static_cast<std::size_t>(position) <= subject.size());
  auto at = static_cast<std::size_t>(position);
  Check(starts[at] && at + text.size() <= subject.size() && starts[at + text.size()]);
  Check(std::string_view(subject).substr(at, text.size()) == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t flags = data[0];
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::size_t cut1 = rest.find('\0');
  Text pattern(rest.substr(0, cut1));
  Text subject;
  Text replacement = "[$1|$&|$$|$`|$'|$12]";
  if (cut1 != std::string_view::npos) {
    std::string_view tail = rest.substr(cut1 + 1);
    std::size_t cut2 = tail.find('\0');
    subject = Text(tail.substr(0, cut2));
    if (cut2 != std::string_view::npos) replacement = Text(tail.substr(cut2 + 1));
  }

  RegexMatcher re;
  bool ran = re.match(pattern, subject, flags & 1, flags & 2, flags & 4, flags & 8);
  const int count = re.matchCount();
  const int groups = re.submatchCount();
  Check(count >= 0 && groups >= 0);
  if (!ran) {
    Check(count == 0 && groups == 0 && re.matchText(1).empty() && re.replace(replacement).empty());
    return 0;
  }
  if (!(flags & 4)) Check(count <= 1);

  const std::vector<bool> starts = CharacterStarts(subject);
  int previousEnd = 0;
  for (int m = 1; m <= count; ++m) {
    int position = -1;
    Text text = re.matchText(m, &position);
    CheckPart(subject, starts, text, position);
    Check(position >= previousEnd);  // matches never overlap and come left to right
    previousEnd = position + static_cast<int>(text.size());
    for (int g = 1; g <= groups; ++g) {
      int groupPosition = -1;
      Text group = re.submatchText(m, g, &groupPosition);
      CheckPart(subject, starts, group, groupPosition);
    }
  }
  Check(re.matchText(count + 1).empty() && re.submatchText(1, groups + 1).empty());

  Text replaced = re.replace(replacement);
  if (count == 0) Check(replaced == subject);

  RegexMatcher copy(re);
  Check(copy.matchCount() == count && copy.replace(replacement) == replaced);
  return 0;
}
