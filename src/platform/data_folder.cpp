#include "platform/data_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/hosts.h"

namespace pelvaro {

namespace {

bool Writable(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return access(folder.c_str(), W_OK | X_OK) == 0 && std::filesystem::is_directory(folder, ignored);
}

}  // namespace

std::string UserDataFolder() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome != nullptr && dataHome[0] == '/') return std::string(dataHome) + "/pelvaro-collector";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share/pelvaro-collector";
  return {};
}

DataFolderChoice ChooseDataFolder() {
  DataFolderChoice choice;
  const char* overridden = std::getenv("PELVARO_RUN_DIR");
  if (overridden != nullptr && *overridden != '\0') {
    choice.folder = RunDir();
    if (!Writable(choice.folder)) choice.error = "the data folder " + choice.folder + " (PELVARO_RUN_DIR) cannot be written";
    return choice;
  }
  const std::string beside = RunDir();
  if (Writable(beside)) {
    choice.folder = beside;
  } else {
    const std::string user = UserDataFolder();
    if (user.empty()) {
      choice.error = "the program's folder " + beside +
                     " cannot be written, and neither XDG_DATA_HOME nor HOME names a user data folder";
      return choice;
    }
    if (!Writable(user)) {
      choice.error = "neither the program's folder " + beside + " nor the user data folder " + user + " can be written";
      return choice;
    }
    choice.folder = user;
  }
  setenv("PELVARO_RUN_DIR", choice.folder.c_str(), 1);
  return choice;
}

}  // namespace pelvaro
