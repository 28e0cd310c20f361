#pragma once
// Where the program keeps its data (settings, run log, history, default video folder). Both
// front ends choose it here, once, before anything reads RunDir(): PELVARO_RUN_DIR when set,
// else the folder of the executable when it can be written, else the user's data folder. An
// executable installed into /usr/bin would otherwise lose its settings, history and videos, or
// fail every download without a word.

#include <string>

namespace pelvaro {

// $XDG_DATA_HOME/pelvaro-collector, else $HOME/.local/share/pelvaro-collector (each variable
// only when it holds an absolute path); empty when neither is usable.
std::string UserDataFolder();

struct DataFolderChoice {
  std::string folder;  // the data folder RunDir() now returns
  std::string error;   // not empty: no folder can be written; says which ones were tried
};

// Chooses the data folder as above, creates it when missing and sets PELVARO_RUN_DIR to it so
// that RunDir() and everything below it follow.
DataFolderChoice ChooseDataFolder();

}  // namespace pelvaro
