#pragma once
// The two texts a script engine makes of a value: its JSON serialisation as the published
// json2 serialiser writes it (compact, members in insertion order, json2's escapes,
// non-finite numbers as null), and its string conversion (numbers as JsNumberText, arrays as
// their elements' conversions joined with ",", null elements empty, objects as
// "[object Object]"). Both are UTF-8.

#include <nlohmann/json.hpp>
#include <string>

namespace pelvaro {

std::string ScriptJsonText(const nlohmann::ordered_json& value);
// null converts to the empty text here; callers decide whether null is an error.
std::string ScriptPlainText(const nlohmann::ordered_json& value);

// The backslash placeholder U+2400 that stored text values carry; see JsonDocument::setValue.
inline constexpr std::string_view kBackslashPlaceholder = "\xE2\x90\x80";
// Turns every placeholder into a backslash.
void RestoreBackslashes(std::string& text);

}  // namespace pelvaro
