#pragma once

#include <cstddef>

#include "platform/text.h"

namespace pelvaro {

// A name from the network made safe to be one path component: "/", "\", NUL, control bytes
// and the characters : * ? " < > | become "_"; "", "." and ".." become "_"; and the name is cut
// at a character boundary so that, stored as UTF-8 with reservedBytes more appended (for
// example ".mp4" and what the partial file adds), it stays within the file system's 255 bytes.
Text SafeFileName(const Text& name, std::size_t reservedBytes = 9);

}  // namespace pelvaro
