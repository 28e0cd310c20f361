#pragma once
// Text on its way to a terminal. Titles, docids, categories and replies come from the network;
// a control character in them (an escape sequence above all) would act on the terminal instead
// of being shown.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/printable_text.h"

namespace pelvaro::cli {

// Every line for the terminal is stripped by the program's one function for it.
using pelvaro::StripControls;

// The number of terminal columns the text takes (East Asian wide characters take two).
std::size_t DisplayWidth(std::string_view utf8);

// The text cut at a character boundary so that it takes at most `columns` columns.
std::string FitWidth(std::string_view utf8, std::size_t columns);

// The same, ending in "…" when something was cut.
std::string Ellipsize(std::string_view utf8, std::size_t columns);

}  // namespace pelvaro::cli
