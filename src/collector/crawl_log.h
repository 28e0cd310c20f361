#pragma once

#include <string_view>

#include "platform/form.h"
#include "platform/text.h"

namespace pelvaro {

// Appends a GBK line (followed by CR LF) to the log box; nothing else is written anywhere.
void AppendLog(Form& form, const Text& line);
// The same for one of the collector's own texts, given in UTF-8.
void AppendLogText(Form& form, std::string_view utf8);

}  // namespace pelvaro
