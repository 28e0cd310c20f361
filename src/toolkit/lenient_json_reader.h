#pragma once
// Reads value texts the way a script engine's evaluator would read them, without running
// anything: JSON plus the object-literal syntax scripts allow (strings in single quotes,
// unquoted or numeric member names, comments, trailing commas, holes in arrays, hexadecimal
// and legacy octal numbers, NaN, Infinity, undefined, parentheses and unary signs). Anything
// else (calls, operators, other names) is a failure. Input and output are UTF-8; strings may
// hold lone surrogates, kept in the generalised UTF-8 form. Numbers are held as doubles, as a
// script holds them. A member name given twice keeps its first position and its last value.
// Nesting deeper than the reader's limit fails, so hostile input cannot exhaust the stack.

#include <deque>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelvaro {

class LenientJsonReader {
 public:
  enum class Outcome { kFailed, kUndefined, kValue };

  // maxDepth bounds the nesting of objects, arrays and parentheses.
  explicit LenientJsonReader(int maxDepth) : maxDepth_(maxDepth) {}

  // The text as the argument of an evaluation: one value with blanks and comments around it;
  // an empty text is undefined; a string value is read once more, as a program.
  Outcome Evaluate(std::string_view source, nlohmann::ordered_json& out);
  // The text as the right-hand side of an assignment statement: one value, an optional ";".
  Outcome ReadStatementValue(std::string_view source, nlohmann::ordered_json& out);
  // The text as an expression passed on as it is: one value, nothing else.
  Outcome ReadExpression(std::string_view source, nlohmann::ordered_json& out);
  // The text as a program whose value is its only expression statement. An empty program is
  // undefined; a leading "{" opens a block, which is never a value.
  Outcome ReadProgram(std::string_view source, nlohmann::ordered_json& out);

  // Reads the quoted string literal that starts at source[pos] into out (UTF-8) and moves pos
  // past its closing quote. False when it is not a complete literal.
  static bool ReadStringLiteral(std::string_view source, std::size_t& pos, std::string& out);

 private:
  using Members = std::vector<std::pair<std::string, nlohmann::ordered_json>>;

  Outcome ReadWhole(std::string_view source, nlohmann::ordered_json& out, bool emptyIsUndefined,
                    bool allowSemicolon, bool blockFails);
  bool SkipBlanks();
  Outcome ReadValue(nlohmann::ordered_json& out, int depth);
  bool ReadObject(nlohmann::ordered_json& out, int depth);
  bool ReadArray(nlohmann::ordered_json& out, int depth);
  bool ReadMemberName(std::string& name);
  bool ReadNumber(double& value);
  std::string_view ReadIdentifier();

  int maxDepth_;
  const char* p_ = nullptr;
  const char* end_ = nullptr;
  std::deque<Members> scratch_;  // member lists by depth, reused between objects; a deque keeps
                                 // the outer lists in place while inner ones are added
  std::vector<unsigned char> dropped_;
};

}  // namespace pelvaro
