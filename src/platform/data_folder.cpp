#include "platform/data_folder.h"

#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "platform/files.h"
#include "platform/user_folders.h"

namespace pelvaro {

namespace {

// Set once the data went to the user's data folder; read by DefaultVideoFolder().
std::atomic<bool> gUserLayout{false};

bool Writable(const Path& folder) {
  std::error_code ignored;
  const std::filesystem::path native(folder.bytes());
  std::filesystem::create_directories(native, ignored);
  return access(folder.c_str(), W_OK | X_OK) == 0 && std::filesystem::is_directory(native, ignored);
}

}  // namespace

Path ExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return Path(std::string(buffer, static_cast<std::size_t>(n)));
}

Path RunDir() {
  const char* overridden = std::getenv("PELVARO_RUN_DIR");
  std::string dir =
      overridden != nullptr && *overridden != '\0' ? std::string(overridden) : ExecutablePath().bytes();
  if (overridden == nullptr || *overridden == '\0') {
    const Path folder = Path(dir).folder();
    dir = folder.empty() ? std::string(".") : folder.bytes();
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return Path(std::move(dir));
}

Path DataFolder() { return JoinPath(RunDir(), "data"); }

Path UserDataFolder() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome != nullptr && dataHome[0] == '/') return Path(std::string(dataHome) + "/pelvaro-collector");
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return Path(std::string(home) + "/.local/share/pelvaro-collector");
  return {};
}

bool IsSystemFolder(const Path& folder) {
  // Compared on the resolved path, so that a link into /usr counts as /usr.
  std::error_code failed;
  std::string path =
      std::filesystem::weakly_canonical(std::filesystem::path(folder.bytes()), failed).string();
  if (failed || path.empty()) path = folder.bytes();
  static constexpr std::string_view kSystemRoots[] = {"/usr",   "/bin",    "/sbin", "/lib", "/lib32",
                                                      "/lib64", "/libx32", "/opt",  "/snap"};
  for (std::string_view root : kSystemRoots) {
    if (path == root || (path.starts_with(root) && path[root.size()] == '/')) return true;
  }
  return false;
}

Path UserVideoFolder() { return JoinPath(XdgUserDir("VIDEOS", "Videos"), "Pelvaro"); }

DataFolderChoice ChooseDataFolder() {
  const char* overridden = std::getenv("PELVARO_RUN_DIR");
  if (overridden != nullptr && *overridden != '\0') {
    gUserLayout = false;
    DataFolderChoice choice;
    choice.folder = RunDir();
    if (!Writable(choice.folder))
      choice.error = "the data folder " + choice.folder.bytes() + " (PELVARO_RUN_DIR) cannot be written";
    return choice;
  }
  return ChooseDataFolderBeside(RunDir());
}

DataFolderChoice ChooseDataFolderBeside(const Path& beside) {
  DataFolderChoice choice;
  gUserLayout = false;
  // A system folder is never even tried: root could write it, and the package manager owns it.
  if (!IsSystemFolder(beside) && Writable(beside)) {
    choice.folder = beside;
  } else {
    const Path user = UserDataFolder();
    const std::string program = IsSystemFolder(beside)
                                    ? "the program's folder " + beside.bytes() + " is a system folder"
                                    : "the program's folder " + beside.bytes() + " cannot be written";
    if (user.empty()) {
      choice.error = program + ", and neither XDG_DATA_HOME nor HOME names a user data folder";
      return choice;
    }
    if (!Writable(user)) {
      choice.error = program + ", and the user data folder " + user.bytes() + " cannot be written";
      return choice;
    }
    choice.folder = user;
    gUserLayout = true;
  }
  setenv("PELVARO_RUN_DIR", choice.folder.c_str(), 1);
  return choice;
}

Path DefaultVideoFolder() { return gUserLayout ? UserVideoFolder() : JoinPath(RunDir(), "video"); }

}  // namespace pelvaro
