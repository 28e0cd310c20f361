#pragma once
// Member paths in script member syntax: a member name followed by selectors, each "." and a
// name or "[" and a decimal index (or a quoted name) and "]"; blanks may stand between the
// parts. Names are script identifiers (letters, digits, "_", "$", any non-ASCII character; not
// starting with a digit). Paths are UTF-8.

#include <cstdint>
#include <string>
#include <string_view>

namespace pelvaro {

struct PathSelector {
  bool isIndex = false;
  std::string name;         // member name; for an index, its decimal text
  std::uint64_t index = 0;  // element index when isIndex
};

class PathCursor {
 public:
  // With leadingName the path may begin with a bare member name (as in "a.b" or "a[0]");
  // without it, the path is a run of selectors (as in ".a[0]").
  PathCursor(std::string_view path, bool leadingName) : path_(path), leadingName_(leadingName) {}

  // Moves to the next selector. False at the end of the path, and on a syntax error, which
  // failed() then reports.
  bool Next(PathSelector& selector);
  bool failed() const { return failed_; }

 private:
  bool Fail() {
    failed_ = true;
    return false;
  }
  void SkipSpaces();
  bool ReadName(std::string& name);

  std::string_view path_;
  std::size_t pos_ = 0;
  bool leadingName_;
  bool failed_ = false;
};

}  // namespace pelvaro
