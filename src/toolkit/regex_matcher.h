#pragma once
// One regular expression run over one subject text (ECMAScript-like dialect on PCRE2).
// Texts are GBK; the subject is matched as UTF-8 and results come back as GBK. Indexes are
// 1-based. Every failure (bad pattern, index out of range, no match yet) gives false, the
// empty text or 0. Copies share the compiled expression and the matches.

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

  Text pattern() const;
  // The subject with the matches replaced ("$n" stands for group n).
  Text replace(const Text& replacement) const;
  int matchCount() const;
  // position, when given, receives the 0-based GBK byte offset of the result in the subject.
  Text matchText(int matchIndex, int* position = nullptr) const;
  Text submatchText(int matchIndex, int groupIndex, int* position = nullptr) const;
  int submatchCount() const;

 private:
  struct Compiled;
  struct Matches;
  std::shared_ptr<Compiled> compiled_;
  std::shared_ptr<Matches> matches_;
  Text subject_;
};

}  // namespace pelvaro
