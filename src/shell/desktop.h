#pragma once
// The program on the user's desktop: a launcher recreated at every start, and the disclaimer
// shown until the user accepted it once (remembered by a marker file in the documents folder,
// or in the data folder when there is none).

#include <string_view>

#include "platform/form.h"
#include "platform/path.h"
#include "platform/text.h"

namespace pelvaro {

// The icon theme name of the program, used by launchers whose caller gives no icon.
inline constexpr std::string_view kProgramIconName = "pelvaro-collector";

// The user's desktop and documents folders: the XDG user directory from
// $XDG_CONFIG_HOME/user-dirs.dirs, else ~/Desktop and ~/Documents.
Path DesktopFolder();
Path DocumentsFolder();

// The launcher file for a shortcut name: a name with a path is cut to its last segment without
// extension; ".desktop" is appended unless the name holds it already (any case).
Path ShortcutFilePath(const Path& desktopFolder, const Text& name);

// Replaces the launcher `name` on the desktop by a freedesktop launcher that starts target
// (Exec the quoted target and the arguments, Path its folder, Icon the given icon, "folder"
// for a folder target, else the program's icon), marked executable. The old launcher is removed
// first; a target without a folder ("" included) then stops with false, so an empty target
// only removes it. Window style and hotkey have no launcher equivalent and are ignored.
// Returns true when the launcher was written.
bool CreateDesktopShortcut(const Text& name, const Path& target, const Text& arguments = {},
                           const Text& icon = {}, int windowStyle = 0, const Text& description = {},
                           const Text& hotkey = {});

// The launcher file's content (UTF-8) for the fields above.
std::string DesktopEntryContent(const Text& displayName, const Path& target, const Text& arguments,
                                const Text& icon, const Text& description);

Text DisclaimerTitle();  // "免责声明"
Text DisclaimerText();   // heading, six clauses, two closing lines, CR LF between lines

// Shows the disclaimer (OK/Cancel) through `owner` unless the marker "tmbq.dll" exists in the
// documents folder or in the data folder. OK, or an existing marker, (re)writes the marker and
// hides it; Cancel leaves no marker, so the disclaimer shows again at the next start. Blocks
// while it is open.
void ShowDisclaimerOnce(Form& owner);
// Where an acceptance is recorded: the documents folder, or the data folder when the user has
// no documents folder (the record must survive that too).
Path DisclaimerMarkerPath();

}  // namespace pelvaro
