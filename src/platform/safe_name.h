#pragma once

#include <cstddef>
#include <string_view>

#include "platform/path.h"
#include "platform/text.h"

namespace pelvaro {

// A name from the network (UTF-8) made safe to be one path component: "/", "\", NUL, control
// characters and the characters : * ? " < > | become "_", as does every byte that is not part
// of a well-formed UTF-8 character; "", "." and ".." become "_". Every other character is kept
// as it is, so names that differ in such a character stay apart. The name is cut before the
// first character that would take it, with reservedBytes more appended (for example ".mp4" and
// what the partial file adds), past the file system's 255 bytes.
Path SafeName(std::string_view utf8, std::size_t reservedBytes = 9);

// The same for a GBK text, through its UTF-8 form: the names the history markers, claims and
// category folders have always had.
Path SafeNameOfGbk(const Text& gbk, std::size_t reservedBytes = 9);

}  // namespace pelvaro
