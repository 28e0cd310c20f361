#pragma once
// The backslash escapes that the text formats the program writes (JSON lines, launcher
// values) share. Each format names the characters it escapes this way; what it does with the
// others stays its own.

#include <cstdint>
#include <string>
#include <string_view>

namespace pelvaro {

// The characters with a one-letter escape: '"', '\\', and backspace, form feed, line feed,
// carriage return, tab ("\b", "\f", "\n", "\r", "\t").
inline constexpr std::string_view kJsonShortEscapes = "\"\\\b\f\n\r\t";

// Appends the one-letter escape of c when c is one of `escaped` (a subset of
// kJsonShortEscapes); false, with nothing appended, otherwise.
bool AppendShortEscape(std::string& out, char c, std::string_view escaped);

// Appends "\u" and the code unit as four lower-case hexadecimal digits.
void AppendUnicodeEscape(std::string& out, std::uint32_t unit);

}  // namespace pelvaro
