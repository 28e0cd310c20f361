#include "app/desktop/data_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/hosts.h"

namespace pelvaro {

std::string UserDataFolder() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome != nullptr && dataHome[0] == '/') return std::string(dataHome) + "/pelvaro-collector";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share/pelvaro-collector";
  return {};
}

void ChooseWritableDataFolder() {
  const char* overridden = std::getenv("PELVARO_RUN_DIR");
  if (overridden != nullptr && *overridden != '\0') return;
  if (access(RunDir().c_str(), W_OK) == 0) return;
  const std::string folder = UserDataFolder();
  if (folder.empty()) return;
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  setenv("PELVARO_RUN_DIR", folder.c_str(), 1);
}

}  // namespace pelvaro
