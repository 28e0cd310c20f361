#pragma once
// Where a download is written: the destination path as the caller gave it, completed by a
// file name from the server when the caller named only a folder.

#include <functional>
#include <string_view>

#include "platform/text.h"

namespace pelvaro {

// True when the last segment of `path` has an extension: a "." with no "/" and no blank
// after it.
bool HasFileExtension(std::string_view path);

// The file name in a Content-Location value or a URL: "\" counts as "/", the text after the
// last "/", cut before the first "?".
Text DownloadNameFromLocation(std::string_view locationOrUrl);

// The file to write for a destination `path`. A path without extension names a folder: "/"
// and the name that `nameFromServer` gives are appended (it is asked only then). When the
// result holds no "." at all, its last segment is repeated as a file inside it ("/a/b"
// becomes "/a/b/b").
Text ResolveDownloadPath(const Text& path, const std::function<Text()>& nameFromServer);

}  // namespace pelvaro
