#pragma once
// Where the program keeps its data (settings, run log, history, catalogue) and where its videos
// go by default. Both front ends choose once, before anything reads RunDir():
// - PELVARO_RUN_DIR when set: data there, videos in its "video" folder;
// - the portable layout, the folder of the executable when it can be written and is no system
//   folder: data beside the program, videos in its "video" folder;
// - otherwise (an installed copy, root included): data in the user's data folder, videos in the
//   user's videos folder + "/Pelvaro". An installed program never writes under /usr.

#include <string>

#include "platform/path.h"

namespace pelvaro {

// The path of the running executable.
Path ExecutablePath();

// The folder the program keeps its data under: PELVARO_RUN_DIR when set, otherwise the
// folder of the running executable; never with a trailing "/".
Path RunDir();
// RunDir() + "/data": settings, run log, catalogue, claims.
Path DataFolder();

// $XDG_DATA_HOME/pelvaro-collector, else $HOME/.local/share/pelvaro-collector (each variable
// only when it holds an absolute path); empty when neither is usable.
Path UserDataFolder();

// Whether a folder belongs to the system, where packages put programs (/usr and below, /bin,
// /sbin, /lib*, /opt, /snap): a program there never writes beside itself.
bool IsSystemFolder(const Path& folder);

// The user's videos folder (XDG_VIDEOS_DIR, else ~/Videos) + "/Pelvaro".
Path UserVideoFolder();

struct DataFolderChoice {
  Path folder;        // the data folder RunDir() now returns
  std::string error;  // not empty: no folder can be written; says which ones were tried (UTF-8)
};

// Chooses the data folder as above, creates it when missing and sets PELVARO_RUN_DIR to it so
// that RunDir() and everything below it follow.
DataFolderChoice ChooseDataFolder();
// The same for a program in `programFolder` (ChooseDataFolder passes the executable's folder).
DataFolderChoice ChooseDataFolderBeside(const Path& programFolder);

// The default output folder of the layout chosen: RunDir() + "/video" unless the data went to
// the user's data folder, UserVideoFolder() then. Before any choice, RunDir() + "/video".
Path DefaultVideoFolder();

}  // namespace pelvaro
