#pragma once
// Cookie text: "name=value" items joined by "; ", the only form in which the program keeps
// cookies (no jar). Names and items compare exactly, case-sensitive.

#include "platform/text.h"

namespace pelvaro {

// The current cookie set after an exchange: fresh items first in their order, then the old
// items whose name the response did not set; "name=deleted" items vanish together with their
// old value, and exact repeats go. `old` receives the result too; `fresh` is left trimmed.
Text MergeCookies(Text& old, Text& fresh);

// Appends the "name=value" part of every "Set-Cookie" header line of a raw header block to
// cookies, each followed by "; ", and finally removes a trailing "; ". Lines whose name is not
// exactly "Set-Cookie" (a lower-case "set-cookie" among them) are not collected. Text already
// in cookies stays in front, separated by "; ".
void CollectSetCookies(std::string_view headerBlock, Text& cookies);

}  // namespace pelvaro
