#pragma once
// One JSON value (normally a web interface's answer) read and changed by member path.
//
// Texts in and out are GBK. The value is read the way a script evaluator reads a value text,
// but nothing in a text is ever run (see LenientJsonReader). Results follow the script
// semantics callers were written against: text results are the script's string conversions,
// and a path that cannot be evaluated (a syntax error, a member below a missing or null
// member) gives the empty result: false, the empty text or 0. Nothing throws.
//
// Paths are written relative to the root ("a.b", "[0]", "a[2].b"; the empty path is the root).
// A path that starts with "da" and names an existing value when "da" is read as the root
// ("da.a", "da[0]", "da") is taken that way; otherwise every path is relative to the root.
//
// Copies share one value tree: a change through one copy shows in all. parse() and init()
// give this document a fresh tree of its own and leave its former copies with the old one.
// A document is used by one thread at a time.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace pelvaro {

class JsonDocument {
 public:
  // Objects, arrays and parentheses nest at most this deep; deeper values do not load.
  static constexpr int kMaxDepth = 512;

  // An empty object.
  JsonDocument();

  // Starts over with a fresh tree holding an empty object.
  void init();

  // Replaces the value by the value of text and tells whether that is neither null nor
  // undefined. By default the text is evaluated: a string's content is read once more as a
  // value text (a string holding "[1]" yields the array; one holding an object text fails,
  // as a block is not a value). With assignAsIs the text's value is taken as it is. On
  // failure the value is null, and every later path behaves as missing.
  bool parse(const Text& text, bool assignAsIs = false);
  // The same for a UTF-8 text (an answer as it came): its strings keep every character, for
  // utf8At, while every other reading gives the GBK texts parse() would. A sequence that is not
  // UTF-8 reads as "?", as it does through GBK.
  bool parseUtf8(std::string_view utf8, bool assignAsIs = false);
  // Makes the value an empty object.
  bool clear();
  // The whole value as compact JSON (see textAt with asJson).
  Text toJson() const;

  // Stores value at path. As text (the default) the value is stored as a string in which
  // every backslash is held as U+2400; textAt gives the text back unchanged and JSON output
  // shows each of them as one unescaped backslash. As JSON the value (empty means "{}") is
  // evaluated like parse's text; when path names an object the value's members are merged
  // into it (new members appended, strings, numbers, booleans and nulls replaced, objects
  // merged, arrays extended by the value's elements), otherwise it replaces the node. The
  // parent of the last member must exist.
  bool setValue(const Text& path, const Text& value, bool valueIsJson = false);
  // Stores at path the evaluated value of a value text; fails on anything else.
  bool setByExpression(const Text& path, const Text& expression);

  // Rewrites path to its form relative to the script variable "da" ("a.b" -> "da.a.b", "[0]"
  // -> "da[0]", "" -> "da"; a "da" path that names an existing value stays) and tells whether
  // it names a value that is neither null nor undefined.
  bool resolvePath(Text& path) const;
  bool exists(const Text& path) const;
  // 6 string, 5 array, 4 object, 2 number, 1 boolean, 0 null or undefined (a missing member
  // of an existing value), -1 when the path cannot be evaluated.
  int typeAt(const Text& path) const;
  // The node's string conversion: strings as they are, numbers in the script's form (35,
  // 1.5e+21, 1e-7), true/false, arrays as their elements joined with ",", objects as
  // "[object Object]"; null and missing nodes give the empty text. asJson gives compact JSON
  // instead (a null node gives "null", a missing one the empty text).
  Text textAt(const Text& path, bool asJson = false) const;
  // textAt's string conversion as UTF-8, with every character kept.
  std::string utf8At(const Text& path) const;
  // The member names of the object at path, in order; an empty list for anything else.
  int memberNames(std::vector<Text>& names, const Text& path = {}) const;
  // The number of elements of the array at path; 0 for anything else.
  int countAt(const Text& path) const;
  // A document of its own holding a copy of the node at path. A string node is evaluated as
  // parse evaluates one; a null or missing node gives a document whose parse failed.
  JsonDocument subDocument(const Text& path) const;
  // Appends (or with atFront, prepends) an element to the array at path, which first becomes
  // an empty array when it is anything else. The element is the text itself, or with
  // valueIsCode the value of the value text.
  bool appendItem(const Text& value, const Text& path = {}, bool valueIsCode = false, bool atFront = false);
  JsonDocument elementDocument(int index, const Text& path = {}) const;
  // asJson: the element as compact JSON; otherwise the element when it is a string, else the
  // empty text.
  Text elementText(int index, const Text& path = {}, bool asJson = false) const;
  // Sets element index of the array (or the member of that name of the object) at path. An
  // index past the end of an array extends it with null elements.
  bool setElement(int index, const Text& path, const Text& value, bool valueIsCode = false);
  // Removes one element of the array at path; a negative index counts from the end.
  bool removeElement(int index, const Text& path = {});
  // Deletes the member at path (an array element becomes null). The root cannot be deleted.
  bool removeAt(const Text& path);
  bool setNumber(const Text& path, double number);
  // The number at path; a string that is a whole decimal number reads as that number,
  // true as 1; anything else is 0.
  double numberAt(const Text& path) const;
  // The node at path as compact JSON, as textAt with asJson.
  Text jsonAt(const Text& path) const;
  // The strings, numbers and booleans among the members (or elements) of the node at path,
  // as texts in order; nested objects and arrays are visited when recursive, else skipped.
  int nodeValues(std::vector<Text>& values, const Text& path = {}, bool recursive = false) const;

 private:
  struct Tree;
  explicit JsonDocument(std::shared_ptr<Tree> tree) : tree_(std::move(tree)) {}

  std::shared_ptr<Tree> tree_;
};

}  // namespace pelvaro
