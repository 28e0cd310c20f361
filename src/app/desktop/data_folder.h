#pragma once
// Where an installed program keeps its data. The program's data folder is the folder of its
// executable; an executable installed into a folder the user cannot write (/usr/bin,
// /usr/local/bin) would lose its settings, history and videos there. Such a program keeps its
// data under the user's data folder instead.

#include <string>

namespace pelvaro {

// The folder to use when the executable's folder is not writable: $XDG_DATA_HOME/pelvaro-collector,
// else $HOME/.local/share/pelvaro-collector; empty when neither variable is set.
std::string UserDataFolder();

// Sets PELVARO_RUN_DIR to UserDataFolder() (created when missing) unless the variable is set
// already or the executable's folder is writable. Call before anything reads RunDir().
void ChooseWritableDataFolder();

}  // namespace pelvaro
