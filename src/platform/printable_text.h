#pragma once
// Text from the network on its way to a screen or an export. Titles, docids, categories and
// reasons come from servers; a control character in them (an escape sequence above all) would
// act on a terminal, and a line break or a NUL would break a CSV row, instead of being shown.

#include <cstddef>
#include <string>
#include <string_view>

namespace pelvaro {

enum class Controls {
  Dropped,  // a terminal line, an exported field: the text closes up
  Blanked,  // a cell of a window's table: each control shows as a blank, the text keeps its shape
};

// The UTF-8 text without C0 controls, DEL and C1 controls (U+0080 to U+009F); a tab becomes
// a space. Bytes that are no valid UTF-8 are dropped as well. The one function every terminal
// line, every exported field and every table cell of stored text goes through.
std::string StripControls(std::string_view utf8, Controls controls = Controls::Dropped);

// The length of the UTF-8 sequence at text[i] (1 to 4) with its code point in `code`; 0 when
// the bytes there are no valid, shortest-form sequence.
std::size_t DecodeUtf8At(std::string_view text, std::size_t i, char32_t& code);

}  // namespace pelvaro
