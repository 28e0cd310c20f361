#pragma once

#include <string_view>

#include "platform/text.h"

namespace pelvaro {

// The update hosts may send their JSON in UTF-8 or in GBK: a body that is valid UTF-8 and
// holds non-ASCII characters (or starts with a UTF-8 byte-order mark) is converted to GBK;
// any other body is taken as GBK already.
Text AnswerText(std::string_view body);

bool IsValidUtf8(std::string_view bytes);

}  // namespace pelvaro
