#pragma once
// The user's own folders as the desktop names them: the home folder and the XDG user
// directories of $XDG_CONFIG_HOME/user-dirs.dirs (what `xdg-user-dir NAME` prints). Paths are
// the user's bytes, returned as they are.

#include <string_view>

#include "platform/path.h"

namespace pelvaro {

// $HOME when set, else the home folder of the account; "/" when neither is known.
Path HomeFolder();

// The value of XDG_<key>_DIR in user-dirs.dirs ("$HOME/relative" or an absolute path), else
// the home folder + "/" + fallback. A value naming the home folder itself switches the
// directory off, so the fallback is used then too.
Path XdgUserDir(std::string_view key, std::string_view fallback);

}  // namespace pelvaro
