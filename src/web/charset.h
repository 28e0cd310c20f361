#pragma once
// Pages declare their charset in a meta tag; bodies are re-encoded to local text from it.

#include <optional>
#include <string_view>

#include "platform/text.h"

namespace pelvaro {

// The charset named by the first "<meta ... charset=NAME" within the first 1024 bytes of a
// page (ignoring case), or the empty text.
Text SniffCharset(std::string_view page);

// bytes decoded from charset and encoded as local text (undecodable bytes and characters
// without a local form become "?"); nothing when the charset is unknown to the converter.
std::optional<Text> DecodeToLocal(std::string_view bytes, std::string_view charset);

}  // namespace pelvaro
