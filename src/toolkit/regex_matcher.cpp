#define PCRE2_CODE_UNIT_WIDTH 8
#include "toolkit/regex_matcher.h"

#include <pcre2.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <string_view>
#include <vector>

namespace pelvaro {
namespace {

// Limits that keep a hostile pattern or subject from hanging the caller. PCRE2's match limit
// restarts at every start position of one search, so on its own it bounds a search only by
// subject length times the limit; the step budget below counts the automatic callouts of the
// whole run (every item tried, every backtrack) and bounds all searches of one match
// together, growing linearly with the subject.
constexpr std::int64_t kBaseSteps = 2'000'000;
constexpr std::int64_t kStepsPerSubjectByte = 128;
constexpr std::uint32_t kMatchLimit = 2'000'000;
constexpr std::uint32_t kDepthLimit = 100'000;
constexpr std::size_t kHeapLimitKib = 64 * 1024;
// At most this many offset pairs (a match and its groups) are kept: about 32 MB.
constexpr std::size_t kMaxStoredPairs = std::size_t{1} << 21;

// One character of a GBK text as UTF-8: at most three bytes, as GBK holds no character
// outside the Basic Multilingual Plane.
struct Utf8Char {
  std::array<char, 4> bytes{};
  std::uint8_t size = 0;
};

bool IsGbkTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }

// The UTF-8 form of every single byte and every lead/trail pair of GBK, converted once.
// A unit without a Unicode form reads as "?", as everywhere else in the program.
class GbkTable {
 public:
  static const GbkTable& Get() {
    static const GbkTable table;
    return table;
  }

  const Utf8Char& Single(unsigned char byte) const { return singles_[byte]; }
  const Utf8Char& Pair(unsigned char lead, unsigned char trail) const {
    return pairs_[static_cast<std::size_t>(lead) << 8 | trail];
  }

 private:
  GbkTable() : pairs_(65536) {
    // Every unit is converted in one pass, each on its own line: a unit that fails to
    // convert turns into "?" followed by whatever its bytes became, and is then "?" here.
    std::string all;
    std::vector<Utf8Char*> slots;
    for (int b = 0x80; b <= 0xFF; ++b) {
      all.push_back(static_cast<char>(b));
      all.push_back('\n');
      slots.push_back(&singles_[static_cast<std::size_t>(b)]);
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        if (!IsGbkTrailByte(static_cast<unsigned char>(trail))) continue;
        all.push_back(static_cast<char>(lead));
        all.push_back(static_cast<char>(trail));
        all.push_back('\n');
        slots.push_back(&pairs_[static_cast<std::size_t>(lead) << 8 | static_cast<std::size_t>(trail)]);
      }
    }
    std::string utf8 = GbkToUtf8(all);
    std::size_t pos = 0;
    for (Utf8Char* slot : slots) {
      std::size_t end = utf8.find('\n', pos);
      if (end == std::string::npos) end = utf8.size();
      std::string_view one(utf8.data() + pos, end - pos);
      pos = end + 1;
      if (IsOneCharacter(one)) {
        std::copy(one.begin(), one.end(), slot->bytes.begin());
        slot->size = static_cast<std::uint8_t>(one.size());
      } else {
        *slot = Question();
      }
    }
    for (int b = 0; b < 0x80; ++b) {
      singles_[static_cast<std::size_t>(b)].bytes[0] = static_cast<char>(b);
      singles_[static_cast<std::size_t>(b)].size = 1;
    }
  }

  static Utf8Char Question() {
    Utf8Char q;
    q.bytes[0] = '?';
    q.size = 1;
    return q;
  }

  // True for exactly one well-formed two- or three-byte UTF-8 character other than a
  // surrogate; anything else (a "?" from a failed conversion among them) is rejected.
  static bool IsOneCharacter(std::string_view s) {
    if (s.size() < 2 || s.size() > 3) return false;
    auto b0 = static_cast<unsigned char>(s[0]);
    for (std::size_t i = 1; i < s.size(); ++i) {
      if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return false;
    }
    if (s.size() == 2) return b0 >= 0xC2 && b0 <= 0xDF;
    if (b0 < 0xE0 || b0 > 0xEF) return false;
    auto b1 = static_cast<unsigned char>(s[1]);
    if (b0 == 0xE0 && b1 < 0xA0) return false;
    return !(b0 == 0xED && b1 >= 0xA0);
  }

  std::array<Utf8Char, 256> singles_{};
  std::vector<Utf8Char> pairs_;
};

// A GBK subject as well-formed UTF-8, with the GBK byte offset of every UTF-8 offset that
// starts a character (and of the end), so that match positions map back exactly.
struct Utf8Subject {
  std::string text;
  std::vector<std::size_t> gbkOffset;
};

Utf8Subject ToUtf8Subject(const Text& gbk) {
  const GbkTable& table = GbkTable::Get();
  Utf8Subject out;
  out.text.reserve(gbk.size() + gbk.size() / 2);
  out.gbkOffset.reserve(gbk.size() + gbk.size() / 2 + 1);
  std::size_t i = 0;
  while (i < gbk.size()) {
    auto c = static_cast<unsigned char>(gbk[i]);
    const Utf8Char* ch = &table.Single(c);
    std::size_t units = 1;
    if (IsGbkLeadByte(c) && i + 1 < gbk.size() && IsGbkTrailByte(static_cast<unsigned char>(gbk[i + 1]))) {
      ch = &table.Pair(c, static_cast<unsigned char>(gbk[i + 1]));
      units = 2;
    }
    out.text.append(ch->bytes.data(), ch->size);
    out.gbkOffset.insert(out.gbkOffset.end(), ch->size, i);
    i += units;
  }
  out.gbkOffset.push_back(gbk.size());
  return out;
}

std::size_t Utf8CharLength(std::string_view s, std::size_t i) {
  auto c = static_cast<unsigned char>(s[i]);
  std::size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  return std::min(n, s.size() - i);
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsClassEscapeLetter(char c) { return std::string_view("dDsSwW").find(c) != std::string_view::npos; }

std::string HexEscape(unsigned value) {
  static constexpr char kHex[] = "0123456789abcdef";
  return {'\\', 'x', kHex[(value >> 4) & 0xF], kHex[value & 0xF]};
}

// The number of capturing groups, counted the way PCRE2 will: "(" outside a class and not
// escaped, unless it opens a "(?" construct other than a named group.
int CountGroups(std::string_view p) {
  int groups = 0;
  bool inClass = false;
  for (std::size_t i = 0; i < p.size(); ++i) {
    char c = p[i];
    if (c == '\\') {
      ++i;
    } else if (inClass) {
      if (c == ']') inClass = false;
    } else if (c == '[') {
      inClass = true;
      if (i + 1 < p.size() && p[i + 1] == '^') ++i;
      if (i + 1 < p.size() && p[i + 1] == ']') {
        ++i;
        inClass = false;
      }
    } else if (c == '(') {
      std::string_view rest = p.substr(i + 1);
      if (rest.empty() || (rest[0] != '?' && rest[0] != '*')) {
        ++groups;
      } else if (rest.starts_with("?P<") || rest.starts_with("?'") ||
                 (rest.starts_with("?<") && !rest.starts_with("?<=") && !rest.starts_with("?<!"))) {
        ++groups;
      }
    }
  }
  return groups;
}

// Rewrites an escape that starts with a decimal digit (at p[i], after the backslash) the way
// the dialect reads it: a back-reference when the number names a group (never inside a
// class), else an octal escape of up to three digits (at most 0377), else "8" or "9" stand
// for themselves. Returns the number of pattern bytes used.
std::size_t TranslateDecimalEscape(std::string_view p, std::size_t i, int groups, bool inClass,
                                   std::string& out) {
  if (!inClass && p[i] != '0') {
    std::size_t end = i;
    long value = 0;
    while (end < p.size() && IsDigit(p[end]) && value <= groups) value = value * 10 + (p[end++] - '0');
    if (value <= groups) {
      out += "\\g{" + std::to_string(value) + "}";
      return end - i;
    }
  }
  if (p[i] == '8' || p[i] == '9') {
    out.push_back(p[i]);
    return 1;
  }
  unsigned value = 0;
  std::size_t used = 0;
  while (used < 3 && i + used < p.size() && p[i + used] >= '0' && p[i + used] <= '7') {
    unsigned next = value * 8 + static_cast<unsigned>(p[i + used] - '0');
    if (next > 0377) break;
    value = next;
    ++used;
  }
  out += HexEscape(value);
  return used;
}

// Turns a pattern of the ECMAScript-like dialect into one that PCRE2 (compiled with the
// options that match sets) reads the same way. Escapes that PCRE2 gives a meaning the
// dialect does not know (\A, \Q, \K, \h, \p, \R, ...) become the plain letter; "\v" is the
// vertical tab only; "[" inside a class is literal (no POSIX classes); a "-" next to a class
// escape such as \w inside a class is literal; numbered references follow the dialect's
// rules for numbers beyond the group count.
// In multi-line mode "^" and "$" also match at CR and LF, each one a line break of its own (so
// between the two bytes of CR LF as well): the dialect's rule, which no PCRE2 newline
// convention gives while "." still matches CR.
std::string TranslatePattern(std::string_view p, bool multiLine) {
  const int groups = CountGroups(p);
  std::string out;
  out.reserve(p.size() + 16);
  bool inClass = false;
  bool lastWasClassEscape = false;
  std::size_t i = 0;
  while (i < p.size()) {
    char c = p[i];
    bool classEscape = false;
    if (c == '\\' && i + 1 < p.size()) {
      char e = p[i + 1];
      if (IsDigit(e)) {
        i += 1 + TranslateDecimalEscape(p, i + 1, groups, inClass, out);
        lastWasClassEscape = false;
        continue;
      }
      if (e == 'c') {
        bool controlLetter = i + 2 < p.size() &&
                             (IsAsciiLetter(p[i + 2]) || (inClass && (IsDigit(p[i + 2]) || p[i + 2] == '_')));
        if (controlLetter) {
          out += HexEscape(static_cast<unsigned char>(p[i + 2]) % 32);
          i += 3;
        } else {
          out += "\\\\";  // a lone "\c" is a backslash followed by "c"
          i += 1;
        }
        lastWasClassEscape = false;
        continue;
      }
      if (IsAsciiLetter(e)) {
        if (IsClassEscapeLetter(e) || std::string_view("fnrtxu").find(e) != std::string_view::npos ||
            e == 'b' || (e == 'B' && !inClass)) {
          out.push_back('\\');
          out.push_back(e);
          classEscape = IsClassEscapeLetter(e);
        } else if (e == 'v') {
          out += "\\x0b";
        } else {
          out.push_back(e);
        }
        i += 2;
      } else {
        std::size_t n = Utf8CharLength(p, i + 1);
        out.push_back('\\');
        out.append(p.substr(i + 1, n));
        i += 1 + n;
      }
    } else if (inClass) {
      if (c == ']') {
        inClass = false;
        out.push_back(c);
      } else if (c == '[') {
        out += "\\[";
      } else if (c == '-') {
        bool nextIsClassEscape = i + 2 < p.size() && p[i + 1] == '\\' && IsClassEscapeLetter(p[i + 2]);
        out += lastWasClassEscape || nextIsClassEscape ? "\\-" : "-";
      } else {
        out.append(p.substr(i, Utf8CharLength(p, i)));
        i += Utf8CharLength(p, i) - 1;
      }
      ++i;
    } else if (c == '[') {
      inClass = true;
      out.push_back(c);
      ++i;
      if (i < p.size() && p[i] == '^') out.push_back(p[i++]);
      if (i < p.size() && p[i] == ']') {
        out.push_back(p[i++]);  // "[]" matches nothing, "[^]" anything
        inClass = false;
      }
    } else if (multiLine && c == '^') {
      out += "(?<![^\\r\\n])";
      ++i;
    } else if (multiLine && c == '$') {
      out += "(?![^\\r\\n])";
      ++i;
    } else {
      std::size_t n = Utf8CharLength(p, i);
      out.append(p.substr(i, n));
      i += n;
    }
    lastWasClassEscape = classEscape;
  }
  return out;
}

struct StepBudget {
  std::int64_t remaining = 0;
};

int CountStep(pcre2_callout_block*, void* data) {
  auto* budget = static_cast<StepBudget*>(data);
  return --budget->remaining < 0 ? PCRE2_ERROR_CALLOUT : 0;
}

template <typename T, void (*Free)(T*)>
struct Releaser {
  void operator()(T* p) const { Free(p); }
};
using CompileContext =
    std::unique_ptr<pcre2_compile_context, Releaser<pcre2_compile_context, pcre2_compile_context_free>>;
using MatchContext =
    std::unique_ptr<pcre2_match_context, Releaser<pcre2_match_context, pcre2_match_context_free>>;
using MatchData = std::unique_ptr<pcre2_match_data, Releaser<pcre2_match_data, pcre2_match_data_free>>;

int SaturatedInt(std::int64_t value) { return static_cast<int>(std::min<std::int64_t>(value, INT_MAX)); }

}  // namespace

struct RegexMatcher::Compiled {
  Text pattern;
  pcre2_code* code = nullptr;  // null when the pattern did not compile
  int groups = 0;

  Compiled() = default;
  Compiled(const Compiled&) = delete;
  Compiled& operator=(const Compiled&) = delete;
  ~Compiled() { pcre2_code_free(code); }
};

// The matches of one run, as GBK byte offsets into the subject: for each match, the start and
// end of the whole match and then of each group; -1 for a group that did not take part.
struct RegexMatcher::Matches {
  int groups = 0;
  std::vector<std::int64_t> offsets;

  std::size_t PerMatch() const { return 2 * (static_cast<std::size_t>(groups) + 1); }
  int Count() const { return static_cast<int>(offsets.size() / PerMatch()); }
  const std::int64_t* Match(int index) const {
    return offsets.data() + static_cast<std::size_t>(index) * PerMatch();
  }
};

RegexMatcher::RegexMatcher() = default;
RegexMatcher::~RegexMatcher() = default;
RegexMatcher::RegexMatcher(const RegexMatcher&) = default;
RegexMatcher& RegexMatcher::operator=(const RegexMatcher&) = default;

bool RegexMatcher::match(const Text& pattern, const Text& subject, bool caseSensitive, bool multiLine,
                         bool global, bool quotePlaceholder) {
  compiled_.reset();
  matches_.reset();

  auto compiled = std::make_shared<Compiled>();
  compiled->pattern = pattern;
  if (quotePlaceholder) {
    // "#" is never the second byte of a GBK character, so every hit is a whole placeholder.
    // Built anew rather than replaced in place, which GCC 12 warns about falsely (-Wrestrict).
    static const Text kPlaceholder = Gbk("#引号");
    Text quoted;
    std::size_t from = 0;
    for (std::size_t at = pattern.find(kPlaceholder); at != Text::npos; at = pattern.find(kPlaceholder, from)) {
      quoted.append(pattern, from, at - from);
      quoted += '"';
      from = at + kPlaceholder.size();
    }
    quoted.append(pattern, from);
    compiled->pattern = std::move(quoted);
  }
  compiled_ = compiled;
  subject_ = subject;

  std::string translated = TranslatePattern(GbkToUtf8(compiled->pattern), multiLine);
  std::uint32_t options = PCRE2_UTF | PCRE2_NEVER_UCP | PCRE2_NEVER_BACKSLASH_C | PCRE2_ALT_BSUX |
                          PCRE2_ALLOW_EMPTY_CLASS | PCRE2_MATCH_UNSET_BACKREF | PCRE2_DOLLAR_ENDONLY |
                          PCRE2_AUTO_CALLOUT;
  if (!caseSensitive) options |= PCRE2_CASELESS;
  CompileContext compileContext(pcre2_compile_context_create(nullptr));
  if (!compileContext) return false;
  pcre2_set_newline(compileContext.get(), PCRE2_NEWLINE_LF);
  // A surrogate escape compiles to a character that a GBK subject never holds.
  pcre2_set_compile_extra_options(compileContext.get(), PCRE2_EXTRA_ALLOW_SURROGATE_ESCAPES);
  int error = 0;
  PCRE2_SIZE errorOffset = 0;
  compiled->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(translated.data()), translated.size(), options,
                                 &error, &errorOffset, compileContext.get());
  if (!compiled->code) return false;
  std::uint32_t captures = 0;
  pcre2_pattern_info(compiled->code, PCRE2_INFO_CAPTURECOUNT, &captures);
  compiled->groups = static_cast<int>(captures);

  Utf8Subject utf8 = ToUtf8Subject(subject);
  StepBudget budget{kBaseSteps + kStepsPerSubjectByte * static_cast<std::int64_t>(utf8.text.size())};
  MatchContext matchContext(pcre2_match_context_create(nullptr));
  MatchData data(pcre2_match_data_create_from_pattern(compiled->code, nullptr));
  if (!matchContext || !data) return false;
  pcre2_set_callout(matchContext.get(), CountStep, &budget);
  pcre2_set_match_limit(matchContext.get(), kMatchLimit);
  pcre2_set_depth_limit(matchContext.get(), kDepthLimit);
  pcre2_set_heap_limit(matchContext.get(), kHeapLimitKib);

  auto matches = std::make_shared<Matches>();
  matches->groups = compiled->groups;
  const std::size_t pairs = static_cast<std::size_t>(compiled->groups) + 1;
  const auto* text = reinterpret_cast<PCRE2_SPTR>(utf8.text.data());
  const std::size_t size = utf8.text.size();
  std::size_t start = 0;
  std::uint32_t matchOptions = 0;  // the first search checks the subject's UTF-8 once
  while (start <= size) {
    int rc = pcre2_match(compiled->code, text, size, start, matchOptions, data.get(), matchContext.get());
    matchOptions = PCRE2_NO_UTF_CHECK;
    if (rc == PCRE2_ERROR_NOMATCH) break;
    if (rc < 0) return false;
    if ((matches->offsets.size() / 2) + pairs > kMaxStoredPairs) return false;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
    for (std::size_t g = 0; g < pairs; ++g) {
      PCRE2_SIZE from = ovector[2 * g];
      PCRE2_SIZE to = ovector[2 * g + 1];
      bool set = from != PCRE2_UNSET && from <= to && to <= size;
      matches->offsets.push_back(set ? static_cast<std::int64_t>(utf8.gbkOffset[from]) : -1);
      matches->offsets.push_back(set ? static_cast<std::int64_t>(utf8.gbkOffset[to]) : -1);
    }
    if (!global) break;
    // After an empty match the next search starts one character further on.
    std::size_t next = std::max<std::size_t>(ovector[1], start);
    if (next == start || ovector[1] == ovector[0]) next += next < size ? Utf8CharLength(utf8.text, next) : 1;
    start = next;
  }
  matches_ = std::move(matches);
  return true;
}

Text RegexMatcher::pattern() const { return compiled_ ? compiled_->pattern : Text(); }

int RegexMatcher::matchCount() const { return matches_ ? matches_->Count() : 0; }

int RegexMatcher::submatchCount() const { return matchCount() > 0 ? matches_->groups : 0; }

Text RegexMatcher::matchText(int matchIndex, int* position) const {
  return partText(matchIndex, 0, position);
}

Text RegexMatcher::submatchText(int matchIndex, int groupIndex, int* position) const {
  return groupIndex < 1 ? Text() : partText(matchIndex, groupIndex, position);
}

Text RegexMatcher::partText(int matchIndex, int groupIndex, int* position) const {
  if (matchIndex < 1 || matchIndex > matchCount() || groupIndex > matches_->groups) return Text();
  const std::int64_t* m = matches_->Match(matchIndex - 1);
  std::int64_t from = m[2 * groupIndex];
  std::int64_t to = m[2 * groupIndex + 1];
  if (from < 0) {
    // A group that did not take part: empty, placed at its match.
    if (position) *position = SaturatedInt(m[0]);
    return Text();
  }
  if (position) *position = SaturatedInt(from);
  return subject_.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
}

Text RegexMatcher::replace(const Text& replacement) const {
  if (!compiled_ || !matches_) return Text();
  const Matches& matches = *matches_;
  auto slice = [this](std::int64_t from, std::int64_t to) {
    if (from < 0 || to < from) return std::string_view();
    return std::string_view(subject_).substr(static_cast<std::size_t>(from),
                                             static_cast<std::size_t>(to - from));
  };
  const auto subjectEnd = static_cast<std::int64_t>(subject_.size());
  Text out;
  std::int64_t copied = 0;
  for (int k = 0; k < matches.Count(); ++k) {
    const std::int64_t* m = matches.Match(k);
    out.append(slice(copied, m[0]));
    copied = m[1];
    // The substitution forms: "$$", "$&", "$`", "$'", "$n" and "$nn" for a group that exists
    // (two digits when they name one, else one); anything else is copied as it stands.
    for (std::size_t i = 0; i < replacement.size();) {
      auto c = static_cast<unsigned char>(replacement[i]);
      if (IsGbkLeadByte(c) && i + 1 < replacement.size()) {
        out.append(replacement, i, 2);
        i += 2;
        continue;
      }
      char next = i + 1 < replacement.size() ? replacement[i + 1] : '\0';
      if (c != '$' || i + 1 >= replacement.size()) {
        out.push_back(static_cast<char>(c));
        ++i;
      } else if (next == '$') {
        out.push_back('$');
        i += 2;
      } else if (next == '&') {
        out.append(slice(m[0], m[1]));
        i += 2;
      } else if (next == '`') {
        out.append(slice(0, m[0]));
        i += 2;
      } else if (next == '\'') {
        out.append(slice(m[1], subjectEnd));
        i += 2;
      } else if (IsDigit(next)) {
        int one = next - '0';
        int two = i + 2 < replacement.size() && IsDigit(replacement[i + 2])
                      ? one * 10 + (replacement[i + 2] - '0')
                      : -1;
        int group = two >= 1 && two <= matches.groups ? two : one >= 1 && one <= matches.groups ? one : 0;
        if (group == 0) {
          out.push_back('$');
          ++i;
        } else {
          out.append(slice(m[2 * group], m[2 * group + 1]));
          i += group == two ? 3 : 2;
        }
      } else {
        out.push_back('$');
        ++i;
      }
    }
  }
  out.append(slice(copied, subjectEnd));
  return out;
}

}  // namespace pelvaro
