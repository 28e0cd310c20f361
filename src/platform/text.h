#pragma once
// The program's text model. A Text holds code-page-936 (GBK) bytes: lengths and positions
// count bytes and a double-byte character counts twice. Chinese literals are written once in
// UTF-8 source and turned into GBK with Gbk(). Conversions happen only at the edges (Qt
// strings, file names, the platform's UTF-8 answers, the speech text).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelvaro {

using Text = std::string;

// A UTF-8 literal as GBK. Characters without a GBK form become "?".
Text Gbk(std::string_view utf8);

Text Utf8ToGbk(std::string_view utf8);
std::string GbkToUtf8(std::string_view gbk);
std::u16string GbkToUtf16(std::string_view gbk);
Text Utf16ToGbk(std::u16string_view utf16);
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// input converted between two charsets named as iconv names them; an unconvertible sequence
// becomes `replacement` and conversion goes on after it. Nothing when either name is unknown.
std::optional<std::string> ConvertCharset(std::string_view input, const char* to, const char* from,
                                          std::string_view replacement);

// The length of the well-formed UTF-8 character at the start of bytes (no overlong form, no
// surrogate, nothing past U+10FFFF); 0 when it does not start with one.
std::size_t Utf8CharLength(std::string_view bytes);
// Whether bytes are well-formed UTF-8 throughout.
bool IsUtf8(std::string_view bytes);
// bytes with every sequence that is not UTF-8 replaced by "?", as Utf8ToGbk replaces it.
std::string ValidUtf8(std::string_view bytes);
// RemoveBlanks for a UTF-8 text: every ASCII space and every U+3000 removed.
std::string RemoveBlanksUtf8(std::string_view utf8);

// True when byte i of a GBK text is the first byte of a double-byte character.
inline bool IsGbkLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

// The longest prefix of at most maxBytes bytes that does not cut a GBK character in two.
std::string_view GbkPrefix(std::string_view gbk, std::size_t maxBytes);

// Replaces full-width GBK letters, digits, signs and the ideographic space by their ASCII
// forms; everything else stays.
Text FoldFullWidth(std::string_view gbk);

// The lenient integer reading every number typed into a box goes through: full-width forms
// count as ASCII, then optional blanks and sign, then the leading decimal digits (saturating
// at the 64-bit limits); a text without a leading number reads as 0.
std::int64_t ReadLenientInt(std::string_view gbk);

// Removes every ASCII space and every full-width ideographic space (A1 A1), wherever it stands.
Text RemoveBlanks(std::string_view gbk);

// Trims ASCII spaces and full-width ideographic spaces at both ends.
Text TrimBlanks(std::string_view gbk);

}  // namespace pelvaro
