#pragma once
// One regular expression run over one subject text (ECMAScript-like dialect on PCRE2).
// Texts are GBK; the subject is matched as UTF-8 and results come back as the subject's own
// GBK bytes. Indexes are 1-based. Every failure (bad pattern, index out of range, no match
// yet, a run that exceeds its step or memory limits) gives false, the empty text or 0.
// Copies share the compiled expression and the matches; each keeps its own subject.
//
// Dialect: "\w", "\d", "\s" and "\b" are ASCII; "." is anything but a line feed; "^" and "$"
// see line feeds only; an unset group or a back-reference to one is empty; "[]" matches
// nothing and "[^]" anything.

#include <memory>

#include "platform/text.h"

namespace pelvaro {

class RegexMatcher {
 public:
  RegexMatcher();
  ~RegexMatcher();
  RegexMatcher(const RegexMatcher&);
  RegexMatcher& operator=(const RegexMatcher&);

  // Compiles pattern and collects its matches in subject: ignoring case unless caseSensitive;
  // "^" and "$" at line breaks with multiLine; all non-overlapping matches with global, else
  // the first. With quotePlaceholder every "#引号" in the pattern stands for a double quote.
  // True when the pattern compiled and ran, also when nothing matched.
  bool match(const Text& pattern, const Text& subject, bool caseSensitive = false, bool multiLine = true,
             bool global = true, bool quotePlaceholder = false);

  // The pattern of the last match (placeholders replaced), also when it did not compile.
  Text pattern() const;
  // The subject with the matches of the last successful match replaced: "$1".."$99" stand
  // for a group, "$&" for the match, "$`" and "$'" for the text before and after it, "$$" for
  // "$". Empty when the last match failed or there was none.
  Text replace(const Text& replacement) const;
  int matchCount() const;
  // position, when given, receives the 0-based GBK byte offset of the result in the subject
  // (for a group that did not take part, that of its match); it is left alone when the index
  // is out of range.
  Text matchText(int matchIndex, int* position = nullptr) const;
  Text submatchText(int matchIndex, int groupIndex, int* position = nullptr) const;
  // The number of capture groups, 0 when there is no match.
  int submatchCount() const;

 private:
  struct Compiled;
  struct Matches;

  // Match matchIndex (1-based) as a whole for groupIndex 0, else its group groupIndex.
  Text partText(int matchIndex, int groupIndex, int* position) const;

  std::shared_ptr<Compiled> compiled_;
  std::shared_ptr<Matches> matches_;
  Text subject_;
};

}  // namespace pelvaro
