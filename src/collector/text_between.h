#pragma once

#include <string_view>

#include "platform/text.h"

namespace pelvaro {

// The text between the first `start` and the next `end` after it; empty when either is missing.
Text TextBetween(std::string_view text, std::string_view start, std::string_view end);

}  // namespace pelvaro
